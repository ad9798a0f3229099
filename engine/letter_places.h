// Where each drive letter's folder stood as the sweep began. Under Wine a
// removal takes effect when its handle closes, by the path it was opened
// under, through whatever links stand on that path by then; and Wine names
// a handle by the deepest drive letter whose folder lies on that path, so
// the folders above the letter's own are out of the name. A folder there
// moved with a link left at its name would carry the item away unseen:
// names are spelt from above, as the letter's folder stood, before the
// folders on the way are looked at.
#pragma once
#include <string>

// Reads where every drive letter's folder stands. Nothing on Windows.
void NoteLetterPlaces();

// Spells a system name under a letter whose folder lies inside another
// drive ("\??\G:\d3\x") from that drive, as the folder stood when noted
// ("\??\D:\lt\w\d3\x"), and so on up to a volume or the top of the file
// system. False when a letter on the way was not noted (made since, or
// unreadable then) or leads to another folder since: what stood above it
// when the item was opened cannot be known.
bool SpeltFromAbove(std::wstring* name);

// Whether Wine names a system name ("\??\G:\...") by a drive letter other
// than the system drive's. False on Windows.
bool NamedByAnotherLetter(const std::wstring& name);
