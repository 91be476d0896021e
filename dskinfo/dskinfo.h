// dskinfo: says what every disk of disk images, in any container, holds (media, geometry, file
// system or game layout, files and space) and which program reads it, as text, as one JSON
// document or as a JSON line per image.
#ifndef DSKINFO_DSKINFO_H_
#define DSKINFO_DSKINFO_H_

#include "diskimage/disk_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/file_system.h"

// What a run reads disks with: large, so given static storage by the caller.
struct DskinfoState {
  diskimage::DiskImage image;
  diskimage::DiskMap map;
  diskimage::FileSystem file_system;
};

// Runs the whole program: IMAGE... [--json | --jsonl] (an IMAGE may be a folder), or --help or
// --version alone. Returns the exit
// status: 1 for usage, 2 when an image could not be opened or holds no disk (the others are still
// reported) or the output could not be written, 0 otherwise.
int RunDskinfo(int argc, char** argv, DskinfoState& state);

#endif  // DSKINFO_DSKINFO_H_
