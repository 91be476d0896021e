// dskput: new formatted disks, and files and folders written into disks, for every file system
// the library reads; each image written beside its name, read back and compared before it is
// kept.
#ifndef DSKPUT_DSKPUT_H_
#define DSKPUT_DSKPUT_H_

#include "diskimage/containers/sector_table.h"
#include "diskimage/disk_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/file_system.h"

// What a run reads, builds and checks disks with: large, so given static storage by the caller.
struct DskputState {
  diskimage::DiskImage source;   // the image given, read from a writable copy of its bytes
  diskimage::SectorTable table;  // a new disk's sectors
  diskimage::DiskMap map;        // the disk files are added to
  diskimage::DiskImage copy;     // the image written, read back
  diskimage::DiskMap copy_map;
  diskimage::FileSystem fs;
};

// Runs the whole program (see its help text). Returns the exit status: 0 when the image was
// written and checked with every path added, 1 for usage or an image that cannot be opened, 2
// when something could not be added (nothing is written then) or the image not written.
int RunDskput(int argc, char** argv, DskputState& state);

#endif  // DSKPUT_DSKPUT_H_
