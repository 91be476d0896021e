// dskcut and dskpull read their own game layouts only: a disk that the library's identification
// names as one of the standard file systems is dskget's, and is said once instead of being read
// as a layout (unless the user asks for the layout all the same).
#ifndef COMMON_RUN_FOREIGN_DISK_H_
#define COMMON_RUN_FOREIGN_DISK_H_

#include "common/run/extraction_run.h"
#include "diskimage/d88_image.h"

// Identifies the disk selected in `image`. When it holds FAT12, Human68k, N88-BASIC, Hu-BASIC or
// F-BASIC, reports through `run` "NAME: the disk holds hu-basic (2D): dskget reads it" (without
// `name`, nullptr, the line begins with what the disk holds) and returns true; otherwise, whatever
// the disk holds or however damaged it is, returns false and says nothing. Works in static storage
// of 362 KB (the disk's sector map and a file system), touched as far as the disk has sectors.
bool HoldsStandardFileSystem(ExtractionRun& run, const char* name, diskimage::D88Image& image);

#endif  // COMMON_RUN_FOREIGN_DISK_H_
