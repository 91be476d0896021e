// diskimage: what a disk holds (one of the file systems FileSystem reads, one of the two game
// layouts that dskcut and dskpull read, an unformatted disk, or something unknown), with the
// evidence found and, for a file system, its files and space.
#ifndef DISKIMAGE_IDENTIFY_H_
#define DISKIMAGE_IDENTIFY_H_

#include <cstdint>

#include "diskimage/disk_map.h"
#include "diskimage/file_system.h"

namespace diskimage {

struct Identification {
  FileSystemKind kind;
  const char* variant;      // "2D", "2DD", "2HD" for N88-BASIC, Hu-BASIC and F-BASIC; else ""
  char evidence[160];       // one short sentence
  int64_t files;            // files in every folder (folders not counted); -1 when not counted
  int64_t directories;      // subdirectories; -1 when not counted
  int64_t bytes_used;       // allocated clusters' bytes; -1 when not counted
  int64_t bytes_free;       // free clusters' bytes; -1 when not counted
  int64_t damaged;          // files and directories whose chain or sectors are damaged; -1 unknown
  int64_t invalid_entries;  // directory entries passed over because their bytes are no file or
                            // folder of the file system; -1 when not counted
};

// Identifies the disk whose sectors `map` holds. The checks are strict: a file system's
// structures must be at their places with legal values (see FileSystem::Mount), and for the
// BASIC file systems every directory entry must parse and no more than half of the chains may
// leave the disk, loop, meet a damaged table entry or run into a free cluster; a game layout's
// directory must parse, hold at least one entry, and point only inside the disk's data tracks. A
// file system that passes is counted through `file_system`, which is left mounted on it (and
// unmounted otherwise). Reads only the sectors the checks need; any disk, however damaged, gets an
// answer.
DISKIMAGE_API void Identify(const DiskMap& map, FileSystem& file_system,
                            Identification& identification);

}  // namespace diskimage

#endif  // DISKIMAGE_IDENTIFY_H_
