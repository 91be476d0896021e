// A host file read whole into memory the caller gives, with the local date it was last changed.
#ifndef DSKPUT_HOST_FILE_H_
#define DSKPUT_HOST_FILE_H_

#include <cstddef>
#include <cstdint>

#include "common/host/file_info.h"
#include "diskimage/file_system.h"

// Paths here are UTF-8 on Windows (the program's arguments are converted so), bytes elsewhere.

// Reads the file `path` into `dest` (`capacity` bytes), its length into `size` and, with `date`
// not nullptr, its modification time as a local date into `date`. Returns 0, or the errno value
// of the failure (EFBIG for a file longer than `capacity`, whose length `size` still gives; EISDIR
// for a folder).
int ReadHostFile(const char* path, unsigned char* dest, size_t capacity, size_t& size,
                 diskimage::FileDate* date);

// The modification time of `path` (a file or a folder) as a local date; false when it cannot be
// looked at.
bool HostFileDate(const char* path, diskimage::FileDate& date);

// What `path` names (its identity, size, whether a folder); false, with errno, for nothing.
bool HostFileInfo(const char* path, FileInfo& info);

// The modification time of `path` in seconds since 1970, or 0 where it cannot be looked at.
int64_t HostFileTime(const char* path);

#endif  // DSKPUT_HOST_FILE_H_
