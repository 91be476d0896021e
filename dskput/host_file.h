// A host file read whole into memory the caller gives, with the local date it was last changed.
#ifndef DSKPUT_HOST_FILE_H_
#define DSKPUT_HOST_FILE_H_

#include <cstddef>

#include "diskimage/file_system.h"

// Reads the file `path` into `dest` (`capacity` bytes), its length into `size` and, with `date`
// not nullptr, its modification time as a local date into `date`. Returns 0, or the errno value
// of the failure (EFBIG for a file longer than `capacity`, whose length `size` still gives; EISDIR
// for a folder).
int ReadHostFile(const char* path, unsigned char* dest, size_t capacity, size_t& size,
                 diskimage::FileDate* date);

// The modification time of `path` (a file or a folder) as a local date; false when it cannot be
// looked at.
bool HostFileDate(const char* path, diskimage::FileDate& date);

#endif  // DSKPUT_HOST_FILE_H_
