// Removal of single files: the Shredder (rename, overwrite twice, remove),
// in-place overwriting, the wipe of a locked index.dat, and file sizes.
// Every file a sweep deletes is deleted through RemoveFile.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "winlib/file_status.h"

// The General options that steer removal, read where they are needed.
bool ShredderOn();
bool DeepSweepOn();

// Removes one file, shredding it first when the Shredder is on (never a path
// that holds "index.dat"). Throws FileException when the file stays; its
// m_strFileName is the name the file has by then (the shred name when the
// rename succeeded). Paths the removal guard refuses are never touched.
void RemoveFile(const std::string& path);

// Overwrites the file in place with 0xFF, then 0x00, over its whole length;
// the file keeps its name. -1 when it cannot be opened (or is a link or has
// other hard links, whose data lives on under other names), else nonzero.
int OverwriteFile(const std::string& path);

// Zeroes the file from byte 64 to its end in place, opened with read and
// write sharing so that a file the system holds open can be wiped. The first
// 64 bytes stay. 0 when it cannot be opened, 1 otherwise.
int WipeIndexFile(const std::string& path);

// Removes a junction or symbolic link itself, never what it points to. The
// link is opened as a link and deleted only when the handle shows that it is
// one: where the system follows the link anyway (Wine resolves it and would
// delete the target folder), the link is left. False when it stays.
bool RemoveLink(const std::string& path);

// The file's size in kilobytes; 0 when its status cannot be read.
float FileSizeKB(const std::string& path);
// bytes / 1024 as the tallies hold it.
float BytesToKB(uint64_t bytes);

// The name the Shredder gives a file: every character of the file name that
// is not '.' becomes 'A' (report.doc -> AAAAAA.AAA); folder and dots stay.
std::string ShredName(const std::string& path);

// How one overwrite pass splits size bytes into writes of at most block
// bytes: `whole` writes of block bytes, then one of `last` bytes (0 writes
// for an empty file).
struct WritePlan {
  uint64_t whole;
  uint32_t last;
};
WritePlan PlanWrites(uint64_t size, uint32_t block);

// Sees every overwrite write (file name as opened, fill byte, bytes written).
// For tests; set it while no sweep runs. An empty function removes it.
using OverwriteObserver = std::function<void(const std::string& name, unsigned char fill, uint32_t bytes)>;
void SetOverwriteObserver(OverwriteObserver observer);

// RemoveFile without the guard, for the loops of a walker whose pattern the
// guard has already passed.
void RemoveFileInGuardedFolder(const std::string& path);
