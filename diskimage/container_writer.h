// diskimage: a disk written into another container (D88, raw dump, FDI, DIM, NFD r0, IMD,
// Virtual98 FDD) from its sector map, and a written copy checked against its source.
#ifndef DISKIMAGE_CONTAINER_WRITER_H_
#define DISKIMAGE_CONTAINER_WRITER_H_

#include <cstddef>

#include "diskimage/container_fit.h"
#include "diskimage/disk_map.h"

namespace diskimage {

// Where a writer puts an image's bytes, in order.
class DISKIMAGE_API ByteSink {
 public:
  // Takes the next `size` bytes; false when they cannot be kept (the writer then stops).
  virtual bool Write(const unsigned char* bytes, size_t size) = 0;

  // The same for bytes that stay where they are, unchanged, until the writer returns (the source
  // image's own): a sink may keep their address instead of copying them. By default, Write.
  virtual bool WriteLasting(const unsigned char* bytes, size_t size) { return Write(bytes, size); }

 protected:
  ~ByteSink() = default;
};

// Writes the disk `map` holds, and what `facts` say of it, as an image of `target` (one of
// kWritableContainers) into `sink`. A D88 image of several disks is the D88 images of each, one
// after another. Where FindContainerLosses finds losses, what the container can hold is written:
// a data-only container (raw, FDI, DIM) the grid of the disk's commonest shape (each sector found
// by its number on its track, zeros for one that is missing), the others the sectors they have
// room for (the first of each track, those whose cylinder ID is not FFh where FFh marks an empty
// slot), each sector's data cut or padded with zeros to its size code. Allocates nothing; reads
// each sector's data once. Returns false only when `sink` refuses bytes, or for a container it does
// not write.
DISKIMAGE_API bool WriteContainer(ContainerKind target, const DiskMap& map, const DiskFacts& facts,
                                  ByteSink& sink);

// Compares `copy`, read back from an image WriteContainer wrote into `target`, with `source`: each
// sector's data (a sector of no data, read without its data mark, excepted), and with `exact` also
// its ID, density, deleted mark and status as far as the target records them, and every track of
// the source the copy must hold. Without `exact` (a copy written despite its losses) each sector of
// the copy is compared with the sector it was written from. Returns true when they agree; otherwise
// says the first difference in `difference` (`difference_size` bytes, one phrase).
DISKIMAGE_API bool SameSectors(ContainerKind target, const DiskMap& source, const DiskMap& copy,
                               bool exact, char* difference, size_t difference_size);

}  // namespace diskimage

#endif  // DISKIMAGE_CONTAINER_WRITER_H_
