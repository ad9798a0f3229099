#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "winlib/event.h"
#include "winlib/thread.h"
#include "winlib/timed_lock.h"
#include "winlib/unique_handle.h"

TEST(TimedLock, TheHolderTakesItAgainAndAnotherThreadGivesUpAfterHalfASecond) {
  TimedLock lock;
  ASSERT_TRUE(lock.Lock());
  ASSERT_TRUE(lock.Lock());  // recursive
  struct Ctx {
    TimedLock* lock;
    bool got;
    DWORD waited;
  } ctx{&lock, true, 0};
  Thread* t = Thread::Begin(
      [](void* p) -> unsigned {
        auto* c = static_cast<Ctx*>(p);
        DWORD start = ::GetTickCount();
        c->got = c->lock->Lock();
        c->waited = ::GetTickCount() - start;
        if (c->got) c->lock->Unlock();
        return 0;
      },
      &ctx, false);
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(t->Wait(5000));
  delete t;
  EXPECT_FALSE(ctx.got);
  EXPECT_GE(ctx.waited, 400u);
  lock.Unlock();
  lock.Unlock();
  // Released twice: free for others again.
  Thread* t2 = Thread::Begin(
      [](void* p) -> unsigned {
        auto* c = static_cast<Ctx*>(p);
        c->got = c->lock->Lock();
        if (c->got) c->lock->Unlock();
        return 0;
      },
      &ctx, false);
  ASSERT_TRUE(t2->Wait(5000));
  delete t2;
  EXPECT_TRUE(ctx.got);
}

TEST(TimedLock, WithoutAMutexAStandInStillGuardsAndAFailingWaitIsNotRetriedForEver) {
  TimedLock standIn(static_cast<HANDLE>(nullptr));
  EXPECT_TRUE(standIn.UsesStandIn());
  ASSERT_TRUE(standIn.Lock());
  struct Ctx {
    TimedLock* lock;
    std::atomic<int> got{-1};
  } ctx;
  ctx.lock = &standIn;
  Thread* t = Thread::Begin(
      [](void* p) -> unsigned {
        auto* c = static_cast<Ctx*>(p);
        c->got.store(c->lock->Lock() ? 1 : 0);
        return 0;
      },
      &ctx, false);
  ASSERT_TRUE(t->Wait(5000));
  delete t;
  EXPECT_EQ(ctx.got.load(), 0) << "another thread must not get a held lock";
  standIn.Unlock();

  // A handle no wait can use: LockPatiently gives up instead of spinning.
  TimedLock bogus(reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x7ffffff0)));
  EXPECT_FALSE(bogus.LockPatiently());
  TimedLockGuard guard(bogus, TimedLockGuard::kPatient);
  EXPECT_FALSE(guard.Owns());
}

TEST(Thread, CreatedSuspendedRunsOnlyAfterResume) {
  std::atomic<int> ran{0};
  Thread* t = Thread::Begin(
      [](void* p) -> unsigned {
        static_cast<std::atomic<int>*>(p)->store(1);
        return 0;
      },
      &ran, true);
  ASSERT_NE(t, nullptr);
  EXPECT_FALSE(t->Wait(100));
  EXPECT_EQ(ran.load(), 0);
  t->Resume();
  EXPECT_TRUE(t->Wait(5000));
  EXPECT_EQ(ran.load(), 1);
  delete t;
}

TEST(Event, AutoResetReleasesOneWaitAndStartsUnsignalled) {
  Event e;
  EXPECT_FALSE(e.Wait(0));
  e.Set();
  EXPECT_TRUE(e.Wait(0));
  EXPECT_FALSE(e.Wait(0));
  e.Set();
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
}

TEST(UniqueHandle, MovingTransfersOwnershipAndClosesOnce) {
  HANDLE raw = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  {
    ScopedHandle a(raw);
    ScopedHandle b(std::move(a));
    EXPECT_FALSE(a.IsValid());
    EXPECT_EQ(b.Get(), raw);
    ScopedHandle c;
    c = std::move(b);
    EXPECT_EQ(c.Get(), raw);
    DWORD flags = 0;
    EXPECT_TRUE(::GetHandleInformation(raw, &flags));
  }
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(raw, &flags)) << "the handle should be closed";
}
