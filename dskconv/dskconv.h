// dskconv: disk images converted from any container the library reads into D88, a raw dump, FDI,
// DIM, NFD, IMD or FDD; split into a file a disk, joined into one D88, or a whole collection
// converted; each written beside its name, read back and compared before it is kept.
#ifndef DSKCONV_DSKCONV_H_
#define DSKCONV_DSKCONV_H_

#include "diskimage/disk_image.h"
#include "diskimage/disk_map.h"

// What a run reads and checks disks with: large, so given static storage by the caller.
struct DskconvState {
  diskimage::DiskImage source;  // the image converted
  diskimage::DiskImage copy;    // the image written, read back
  diskimage::DiskMap source_map;
  diskimage::DiskMap copy_map;
};

// Runs the whole program (see its help text). Returns the exit status: 0 when every image was
// written and checked, 1 for usage or a lone image that cannot be opened, 2 when the run went
// through with diagnostics (a conversion refused for what it would lose, a file that exists, a
// copy that does not read back the same).
int RunDskconv(int argc, char** argv, DskconvState& state);

#endif  // DSKCONV_DSKCONV_H_
