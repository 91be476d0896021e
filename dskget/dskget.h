// dskget: extracts the files of every disk of disk images, in any container, that holds a standard
// file system (FAT12, Human68k, N88-BASIC, Hu-BASIC, F-BASIC, CP/M, MZ DISK BASIC), folders
// included, with their recorded dates.
#ifndef DSKGET_DSKGET_H_
#define DSKGET_DSKGET_H_

#include "diskimage/disk_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/file_system.h"

// What a run reads disks with: large, so given static storage by the caller.
struct DskgetState {
  diskimage::DiskImage image;
  diskimage::DiskMap map;
  diskimage::FileSystem file_system;
};

// Runs the whole program: IMAGE... [-d] [-l] [-r] [-C DIR] (an IMAGE may be a folder), or --help
// or --version alone. Returns the exit status: 1 for usage, DIR, or a lone image that cannot be
// opened, 2 when the run went through with diagnostics (an image of several that cannot be opened
// included), 0 when every listed file was written whole under its listed name.
int RunDskget(int argc, char** argv, DskgetState& state);

#endif  // DSKGET_DSKGET_H_
