// D88 disks that are no D88 disk, or that the image cut short, said before they are read.
#include "common/run/image_check.h"

#include "diskimage/disk_check.h"

bool CheckImageDisk(ExtractionRun& run, const char* path, const diskimage::DiskImage& image,
                    int disk) {
  if (image.Container() != diskimage::ContainerKind::kD88) return true;
  diskimage::DiskCheck check;
  diskimage::CheckDisk(image.D88(), check);
  if (!check.d88) {
    run.diagnostics.Report(path, "disk %d is not a D88 disk: %s", disk, check.reason);
    return false;
  }
  if (check.lacking_bytes > 0) {
    run.diagnostics.Report(path,
                           "disk %d: its size field says %lld bytes, %lld more than the image "
                           "holds (%d track%s missing); not read whole",
                           disk, static_cast<long long>(image.DiskSize()),
                           static_cast<long long>(check.lacking_bytes), check.missing_tracks,
                           check.missing_tracks == 1 ? "" : "s");
  }
  return true;
}
