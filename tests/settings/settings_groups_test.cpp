#include <gtest/gtest.h>

#include <ctime>

#include "settings/settings_groups.h"
#include "winlib/thread.h"

TEST(SettingsGroups, FreshGroupsHoldTheirDefaults) {
  GeneralSettings general;
  WindowsSettings windows;
  InternetSettings internet;
  ApplicationSettings apps;
  EXPECT_EQ(general.m_nTargets, 31);
  EXPECT_EQ(general.m_nTimerSeconds, 60);
  EXPECT_EQ(general.m_nSweepAt, 0);
  EXPECT_EQ(general.m_bNotShowLogo, 0);
  EXPECT_EQ(general.m_tLastSweep, 0);
  EXPECT_EQ(windows.m_nTargets, 0);
  EXPECT_TRUE(windows.m_locations.empty());
  EXPECT_EQ(windows.m_bLocationsDirty, 0);
  EXPECT_EQ(internet.m_nTargets, 24);
  EXPECT_EQ(internet.m_nBrowser, 0);
  EXPECT_EQ(apps.m_nTargets, 0);
  // The process-wide groups start the same way.
  EXPECT_EQ(g_GeneralSettings.m_nTargets & (GENERAL_SWEEP_WINDOWS | GENERAL_SWEEP_INTERNET |
                                            GENERAL_SWEEP_APPLICATIONS | GENERAL_AUTO_START | GENERAL_SHOW_PROGRESS),
            31);
}

TEST(SettingsGroups, FriendlyCookiesAreAppendedAndReplacedAsCopies) {
  InternetSettings internet;
  StringPairList list{{"a.com", "C:\\c\\a.txt"}, {"b.com", "C:\\c\\b.txt"}};
  ASSERT_TRUE(internet.SetFriendlyCookies(list));
  list.clear();  // the group keeps its own copy
  StringPairList out{{"mine", "C:\\keep.txt"}};
  ASSERT_TRUE(internet.GetFriendlyCookies(out));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].first, "mine");
  EXPECT_EQ(out[1].second, "C:\\c\\a.txt");
  EXPECT_EQ(out[2].first, "b.com");

  ASSERT_TRUE(internet.SetFriendlyCookies({{"z.com", "C:\\z.txt"}}));
  StringPairList again;
  internet.GetFriendlyCookies(again);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].first, "z.com");
}

TEST(SettingsGroups, ALockHeldElsewhereLeavesTheGroupUnchanged) {
  InternetSettings internet;
  internet.SetFriendlyCookies({{"a.com", "C:\\a.txt"}});
  struct Ctx {
    InternetSettings* group;
    bool marked, set, got;
    size_t outSize;
  } ctx{&internet, true, true, true, 0};
  ASSERT_TRUE(internet.m_lock.Lock());
  Thread* t = Thread::Begin(
      [](void* p) -> unsigned {
        auto* c = static_cast<Ctx*>(p);
        c->marked = c->group->MarkSwept();
        c->set = c->group->SetFriendlyCookies({});
        StringPairList out;
        c->got = c->group->GetFriendlyCookies(out);
        c->outSize = out.size();
        return 0;
      },
      &ctx, false);
  ASSERT_TRUE(t->Wait(10000));
  delete t;
  internet.m_lock.Unlock();
  EXPECT_FALSE(ctx.marked);
  EXPECT_FALSE(ctx.set);
  EXPECT_FALSE(ctx.got);
  EXPECT_EQ(ctx.outSize, 0u);
  EXPECT_EQ(internet.m_tLastSweep, 0);
  EXPECT_EQ(internet.m_friendlyCookies.size(), 1u);
}

TEST(SettingsGroups, MarkSweptStampsTheCurrentTime) {
  ApplicationSettings apps;
  int before = static_cast<int>(std::time(nullptr));
  ASSERT_TRUE(apps.MarkSwept());
  int after = static_cast<int>(std::time(nullptr));
  EXPECT_GE(apps.m_tLastSweep, before);
  EXPECT_LE(apps.m_tLastSweep, after);
}

TEST(CustomLocation, DisplayTextNamesSubfoldersOnlyWhenIncluded) {
  CustomLocation plain("C:\\Work", "*.tmp", 0);
  EXPECT_EQ(plain.m_strDisplay, "C:\\Work: *.tmp");
  CustomLocation deep("C:\\Work", "*.*", 1, "CusDir.0");
  EXPECT_EQ(deep.m_strDisplay, "C:\\Work: *.*: including subdirectories");
  EXPECT_EQ(deep.m_strKeyName, "CusDir.0");
}
