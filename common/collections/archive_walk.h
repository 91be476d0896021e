// The images inside an archive (zip, 7z, LZH, CAB, RAR, tar and its compressed forms), read with
// libarchive member by member into memory, never unpacked to disk; archives inside it are read
// the same way, to kMaxArchiveDepth.
#ifndef COMMON_COLLECTIONS_ARCHIVE_WALK_H_
#define COMMON_COLLECTIONS_ARCHIVE_WALK_H_

#include <cstddef>

#include "common/console/diagnostics.h"

// False in a build without libarchive: there no archive is read.
bool ArchivesAvailable();

// The length of the archive extension that `name` ends in (".zip", ".7z", ".lzh", ".lha",
// ".cab", ".rar", ".tar", ".tgz", ".tar.gz", ".tbz2", ".tar.bz2", ".txz", ".tar.xz", any case),
// 0 for none.
size_t ArchiveExtensionLength(const char* name);

// Archives inside archives are read this deep (the archive named or found in a folder is 1).
constexpr int kMaxArchiveDepth = 3;
// The largest member read: an image (no collection's is near it) or an archive inside one.
constexpr size_t kMaxArchiveMemberSize = size_t{256} << 20;

// What the walk does with each image it finds.
class ArchiveVisitor {
 public:
  // `member` is the image's path inside the archives, ':' after each archive inside
  // ("disks/side_a.d88", "inner.zip:b.d88"), its name converted from Shift-JIS where it is not
  // UTF-8; `folder` the same path with '/' for ':' ("inner.zip/b.d88").
  // The `size` bytes live until the call returns.
  virtual void VisitMember(const char* member, const char* folder, const unsigned char* bytes,
                           size_t size) = 0;
  // True when every member is to be visited, whatever its name; otherwise PassOver is called for
  // each member whose name is neither an image's nor an archive's.
  virtual bool EveryFile() const = 0;
  virtual void PassOver() = 0;

 protected:
  ~ArchiveVisitor() = default;
};

// Reads the archive file `path` (from where the run is) and hands each member with an image
// extension (or every member, where the visitor asks) to `visitor`, in the archive's order, and
// walks each member with an archive extension the same way. A member that cannot be read
// (encrypted, damaged, over kMaxArchiveMemberSize) and an archive that cannot be opened or ends in
// damage are reported through `diagnostics`, named `path` and the member; the walk goes on where
// the archive allows. Returns false when anything was reported. Memory: one buffer per depth, grown
// to the largest member read, kept for the run.
bool WalkArchive(const char* path, Diagnostics& diagnostics, ArchiveVisitor& visitor);

#endif  // COMMON_COLLECTIONS_ARCHIVE_WALK_H_
