// What dskinfo and dskget say of a D88 disk whose header is no D88 writer's, or that its image cut
// short, before they read it.
#ifndef COMMON_RUN_IMAGE_CHECK_H_
#define COMMON_RUN_IMAGE_CHECK_H_

#include "common/run/extraction_run.h"
#include "diskimage/disk_image.h"

// Checks disk `disk`, selected in `image` opened from `path` (nullptr where the diagnostics'
// prefix names the image); a disk of another container than
// D88 passes (what its container lost was said when it was opened). A header that no D88 writer
// makes is reported ("disk N is not a D88 disk: REASON"; an image whose first disk has such a
// header is none) and the disk is not to be read: returns false. A disk that the image ends inside
// is reported ("disk N: its size field says S bytes, L more than the image holds (T tracks
// missing); not read whole") and is read as far as it goes: returns true, as for a whole disk.
bool CheckImageDisk(ExtractionRun& run, const char* path, const diskimage::DiskImage& image,
                    int disk);

#endif  // COMMON_RUN_IMAGE_CHECK_H_
