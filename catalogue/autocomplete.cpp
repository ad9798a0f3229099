// Stored auto-complete form data: the Protected Storage data key of the
// current user. On the NT family the per-user key is named after the user's
// SID and admits only the system, so its access list is opened up on the way
// down and the SID key's own list is put back afterwards.
#include "catalogue/autocomplete.h"

#include <string>

#include "engine/key_security.h"
#include "engine/reg_primitives.h"
#include "engine/sweep_log.h"
#include "winlib/os_kind.h"

namespace {

const char kProtectedStoragePrefix[] = "Software\\Microsoft\\Protected Storage System Provider\\";
const char kDataKey[] = "\\Data";
const char kFormDataKey[] = "\\e161255a-37c3-11d2-bcaa-00c04fd929db";

bool IsNtFamily(int kind) { return kind == OS_WINNT4 || kind == OS_WIN2000 || kind == OS_WINXP; }

void CleanPerUserData(int* count) {
  SecurityBlock sid;
  if (!GetCurrentUserSid(sid)) return;
  const std::string sidKey = kProtectedStoragePrefix + FormatSidString(sid.data());
  const std::string dataKey = sidKey + kDataKey;
  const std::string formKey = dataKey + kFormDataKey;

  // Without a saved list there is nothing to put back: the SID key keeps the
  // open one.
  SecurityBlock saved;
  SaveKeyDacl(HKEY_CURRENT_USER, sidKey, saved);

  SECURITY_DESCRIPTOR open;
  SecurityBlock acl;
  if (BuildOpenKeyDescriptor(sid.data(), &open, acl)) {
    ApplyKeyDacl(HKEY_CURRENT_USER, sidKey, &open, false);
    ApplyKeyDacl(HKEY_CURRENT_USER, dataKey, &open, false);
    ApplyKeyDacl(HKEY_CURRENT_USER, formKey, &open, true);
    const RegChange change = SweepDeleteKey(HKEY_CURRENT_USER, formKey.c_str());
    if (ChangeMade(change))
      LogItemOf(count, IDC_STATUS_INTERNET, "  ", "HKEY_CURRENT_USER\\" + formKey, 0.0,
                "Delete registry key: HKEY_CURRENT_USER\\%s\n", formKey.c_str());
  }
  if (!saved.empty()) ApplyKeyDacl(HKEY_CURRENT_USER, sidKey, saved.data(), false);
}

}  // namespace

void CleanFormData(SweepWorker*, int* count, float*) {
  LogLine(" Clean up auto complete form.\n", 0);
  if (IsNtFamily(g_nOsKind)) CleanPerUserData(count);

  char user[260];
  DWORD size = sizeof user;
  if (!::GetUserNameA(user, &size)) return;
  const std::string machineKey = std::string(kProtectedStoragePrefix) + user + kDataKey + kFormDataKey;
  // Counted only when there was a key and it went.
  const RegChange change = SweepDeleteKey(HKEY_LOCAL_MACHINE, machineKey.c_str());
  if (ChangeMade(change)) NumberItem(count, "HKEY_LOCAL_MACHINE\\" + machineKey);
}
