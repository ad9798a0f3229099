#include "engine/letter_places.h"

#include <windows.h>

#include <map>
#include <mutex>

#include "engine/folder_identity.h"

namespace {

struct Place {
  FolderIdentity id;
  std::wstring above;  // empty: the letter is a volume's root
};

struct Places {
  std::mutex lock;
  std::map<wchar_t, Place> byLetter;
  bool read = false;
};

Places& Noted() {
  static Places places;
  return places;
}

bool ReadPlace(wchar_t letter, Place* out) { return LetterFolderFromAbove(letter, &out->above, &out->id); }

// The letter of a system name on a drive ("\??\G:\..."), upper case; 0 for
// any other name.
wchar_t LetterOf(const std::wstring& name) {
  if (name.size() < 6 || name.compare(0, 4, L"\\??\\") != 0 || name[5] != L':' ||
      (name.size() > 6 && name[6] != L'\\'))
    return 0;
  const wchar_t c = name[4];
  if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - L'a' + L'A');
  return c >= L'A' && c <= L'Z' ? c : 0;
}

}  // namespace

void NoteLetterPlaces() {
  if (!RunningUnderWine()) return;
  std::map<wchar_t, Place> places;
  // Every letter is tried: Wine's list of drives leaves out a letter made
  // by a link in its "dosdevices" folder.
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    Place place;
    if (ReadPlace(letter, &place)) places[letter] = place;
  }
  Places& noted = Noted();
  std::lock_guard<std::mutex> hold(noted.lock);
  noted.byLetter.swap(places);
  noted.read = true;
}

bool SpeltFromAbove(std::wstring* name) {
  if (!RunningUnderWine()) return true;
  Places& noted = Noted();
  // Every sweep notes the letters as it starts; a caller that sweeps without
  // (a test) has them noted at its first look.
  {
    std::unique_lock<std::mutex> hold(noted.lock);
    const bool never = !noted.read;
    hold.unlock();
    if (never) NoteLetterPlaces();
  }
  // A letter's folder lies in another's at most once each.
  for (int hop = 0; hop <= 26; ++hop) {
    const wchar_t letter = LetterOf(*name);
    if (letter == 0 || letter == SystemDriveLetter()) return true;
    const char root[] = {static_cast<char>(letter), ':', '\\', 0};
    FolderIdentity now;
    if (!IdentityOfFolder(root, &now)) return false;
    Place place;
    bool known = false;
    {
      std::lock_guard<std::mutex> hold(noted.lock);
      const auto it = noted.byLetter.find(letter);
      if (it != noted.byLetter.end() && it->second.id == now) {
        place = it->second;
        known = true;
      }
    }
    // Read now, the place would be where the folder went: what was on the
    // way to it when the item was opened cannot be known.
    if (!known) return false;
    if (place.above.empty()) return true;
    *name = place.above + name->substr(6);
  }
  return false;
}

bool NamedByAnotherLetter(const std::wstring& name) {
  const wchar_t letter = LetterOf(name);
  return RunningUnderWine() && letter != 0 && letter != SystemDriveLetter();
}
