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

// The stamp of the file at path as it is now. False when that cannot be told
// for another reason than the file being missing.
bool stampOf(const std::string& path, FileStamp& stamp);

// Reads the file at path into reader, a piece at a time, so that the whole
// text is never in memory at once, and takes the stamp from the open file. A
// missing file reads as empty, with an all-zero stamp. False when the file is
// there but cannot be read to its end (not a regular file, no permission, a
// read error); the caller then throws away what reader was given.
bool readListFile(const std::string& path, ListReader& reader, FileStamp& stamp);

}  // namespace corvane::blocklist
