// diskimage: what each container a disk can be written into would lose of it, found from the
// disk's sector map before anything is written.
#ifndef DISKIMAGE_CONTAINER_FIT_H_
#define DISKIMAGE_CONTAINER_FIT_H_

#include <cstdint>

#include "diskimage/disk_image.h"
#include "diskimage/disk_map.h"

namespace diskimage {

// What a disk carries besides its sectors.
struct DiskFacts {
  const char* name;  // as the source container keeps it ("" for none)
  bool write_protected;
  int media = 0;           // the D88 media byte of its shape: 00h 2D, 10h 2DD, 20h 2HD
  int64_t image_time = 0;  // when its image was made (seconds since 1970, UTC), for the
                           // containers that record it (IMD)
};

// One thing a container cannot hold of a disk, as a phrase ("track 0 is FM with 26 sectors of
// 128 bytes").
struct ContainerLoss {
  char text[160];
};

// The containers a disk can be written into, in the order FindContainerLosses takes them: D88,
// raw dump, FDI, DIM, NFD r0, IMD, Virtual98 FDD.
constexpr ContainerKind kWritableContainers[] = {
    ContainerKind::kD88, ContainerKind::kRaw, ContainerKind::kFdi, ContainerKind::kDim,
    ContainerKind::kNfd, ContainerKind::kImd, ContainerKind::kFdd};

// Finds what `target` (one of kWritableContainers) cannot hold of the disk `map` holds: at most
// `max` phrases into `losses`, the first of each kind, and stops looking once it has `max` (one
// when `max` is 0, to learn only whether there is any); returns how many it found (0: the
// container holds the disk faithfully). What the source never recorded is no loss: sectors
// numbered 1..n in order, MFM and good are what a raw dump implies, and a raw dump converts back
// without one. A data-only container (raw, FDI, DIM) holds only a grid: every track present, each
// with the same count of sectors of one size numbered 1..n in stored order, their IDs the track's,
// MFM (a raw dump's 1,021,696-byte layout: track 0 FM of 128 bytes), good and not deleted, in a
// geometry it has a code for. Reads no sector data except the first two of a would-be raw dump (its
// boot sector decides its geometry). Any map gets an answer.
DISKIMAGE_API int FindContainerLosses(ContainerKind target, const DiskMap& map,
                                      const DiskFacts& facts, ContainerLoss* losses, int max);

}  // namespace diskimage

#endif  // DISKIMAGE_CONTAINER_FIT_H_
