// Registry trees walked by Morvane itself, never by a call that walks one on
// its own (those open every subkey by name and so follow a registry link to
// whatever key it names). Keys are opened without following a link
// (REG_OPTION_OPEN_LINK), a link is deleted as a link, and a key is deleted
// through the handle that was opened and judged, never by its name looked up
// again. The settings layer and the sweep's key deletion share the one walk.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// OpenKeyNoLink's answer when a key on the way is a registry link.
constexpr LONG kLinkOnTheWay = ERROR_CANT_RESOLVE_FILENAME;

// True when the open key is a registry link (a key made with
// REG_OPTION_CREATE_LINK: its one value says where it leads).
bool IsRegistryLink(HKEY key);

// The names of an open key's subkeys. The buffer is sized from the longest
// name the key holds and grows on the rare answer that it is still short: a
// long name never ends the list.
std::vector<std::string> SubKeyNames(HKEY key);

// The two links Windows itself makes on paths that rules name: a user's
// Software\Classes, leading to that user's own classes hive, and
// SYSTEM\CurrentControlSet, leading to a numbered control set. True only for
// such a link where the system puts it (ownName, the registry's name of the
// link key) and to where the system points it (leadsTo).
bool IsSystemMadeLink(const std::wstring& ownName, const std::wstring& leadsTo);

// Opens path below parent one segment at a time. No key on the way is
// followed (one that is a link gives kLinkOnTheWay) but a system-made link. The last key is opened
// as it is, a link as the link (ask IsRegistryLink). ERROR_SUCCESS and *out
// set, or the registry's answer and *out null.
LONG OpenKeyNoLink(HKEY parent, const std::string& path, REGSAM access, HKEY* out);

// Deletes the key behind the open handle itself (it needs DELETE access and
// no subkeys): a link opened as such goes as a link. A Win32 error.
LONG DeleteOpenedKey(HKEY key);

// One removal of a key with everything below it. The base removes all that
// opens and goes; a caller that judges keys, records outcomes or previews
// derives from it.
class KeyTreeRemoval {
 public:
  virtual ~KeyTreeRemoval() = default;
  // Removes the open key (opened with the link option and Access()) named
  // path, with what lies below it; true when the key itself went. A link is
  // never walked into; every key is judged before anything in it is touched.
  bool Remove(HKEY key, const std::string& path);

 protected:
  enum class Visit {
    kLeave,          // untouched
    kRemove,         // a link goes as a link; any other key once its subkeys went
    kEmptyAndLeave,  // its subkeys are removed (each judged); the key stays
  };
  virtual Visit Judge(HKEY key, const std::string& path, bool link) { return Visit::kRemove; }
  // A subkey that is there but would not open.
  virtual void OpenFailed(LONG error, const std::string& path) {}
  // Deletes the judged key; true when it went.
  virtual bool Delete(HKEY key, const std::string& path) { return DeleteOpenedKey(key) == ERROR_SUCCESS; }
  // What each subkey is opened for.
  virtual REGSAM Access() const { return KEY_READ | DELETE; }
};
