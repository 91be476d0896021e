// Disks that hold a standard file system, left to dskget by the layout programs.
#include "common/run/foreign_disk.h"

#include <cstdio>

#include "diskimage/disk_map.h"
#include "diskimage/identify.h"

namespace {

diskimage::DiskMap disk_map;
diskimage::FileSystem file_system;

}  // namespace

bool HoldsStandardFileSystem(ExtractionRun& run, const char* name, diskimage::D88Image& image) {
  disk_map.Load(image);
  diskimage::Identification id;
  diskimage::Identify(disk_map, file_system, id);
  if (file_system.Kind() == diskimage::FileSystemKind::kUnknown) return false;
  char holds[64];
  snprintf(holds, sizeof holds, "the disk holds %s%s%s%s", diskimage::FileSystemName(id.kind),
           id.variant[0] != '\0' ? " (" : "", id.variant, id.variant[0] != '\0' ? ")" : "");
  if (name != nullptr) {
    run.diagnostics.Report(name, "%s: dskget reads it", holds);
  } else {
    run.diagnostics.Report(holds, "dskget reads it");
  }
  return true;
}
