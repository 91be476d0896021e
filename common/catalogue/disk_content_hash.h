// A disk's content hash: what a disk holds, whatever container holds it, as one SHA-1.
#ifndef COMMON_CATALOGUE_DISK_CONTENT_HASH_H_
#define COMMON_CATALOGUE_DISK_CONTENT_HASH_H_

#include "diskimage/disk_map.h"

// Writes into `sha1` the SHA-1 of the data of the disk's sectors that `map` keeps: track by track
// (track index 2 x cylinder + head), within a track by ascending sector number (sectors of one
// number in stored order). IDs, density, marks, status and the container's own fields (a D88
// disk's name and write protection) are not part of it, so that the same disk in any container
// gives the same hash. A sector's data the source cannot give counts as none. Reads every sector
// once; no memory beyond the stack.
void HashDiskContent(const diskimage::DiskMap& map, unsigned char sha1[20]);

#endif  // COMMON_CATALOGUE_DISK_CONTENT_HASH_H_
