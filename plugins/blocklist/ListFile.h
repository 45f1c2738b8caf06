#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "ListParser.h"

namespace corvane::blocklist {

// What identifies one version of a file; all zero for a missing file.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// Why a list file could not be read: the system's error number, or
// NotRegularFile for a folder, a FIFO or a device in its place.
inline constexpr int NotRegularFile = -1;

// The reason as a user reads it: the system's text for an error number.
std::string readErrorText(int error);

// The stamp of the file at path as it is now; 0, or why that cannot be told
// for another reason than the file being missing.
int stampOf(const std::string& path, FileStamp& stamp);

// Reads the file at path into reader, a piece at a time, so that the whole
// text is never in memory at once, and takes the stamp from the open file. A
// missing file reads as empty, with an all-zero stamp. Returns 0, or why the
// file is there but cannot be read to its end (not a regular file, no
// permission, a read error); the caller then throws away what reader was
// given.
int readListFile(const std::string& path, ListReader& reader, FileStamp& stamp);

}  // namespace corvane::blocklist
