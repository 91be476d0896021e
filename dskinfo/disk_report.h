// One disk's report, as a block of text for a terminal or as a JSON object.
#ifndef DSKINFO_DISK_REPORT_H_
#define DSKINFO_DISK_REPORT_H_

#include <cstdint>

#include "diskimage/d88_image.h"
#include "diskimage/disk_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/identify.h"

struct DiskReport {
  int index;
  const char* name;  // UTF-8
  int media;         // the media byte
  bool write_protected;
  int64_t disk_size;  // the header's size field; the image's size for other containers than D88
  diskimage::ContainerKind container;
  bool in_archive;  // a member of an archive, which only dskget reads
  diskimage::DiskGeometry geometry;
  diskimage::Identification identification;
  const char* label;  // UTF-8; "" for none
  // The containers that hold the disk faithfully, by their names.
  const char* held_by[8];
  int held_by_count;
  const char* content_sha1;  // the disk's content hash in hexadecimal, or nullptr: not given
};

// The program that reads a disk of this kind in this container, in a file of its own or in an
// archive ("dskget", "dskcut", "dskpull"), or nullptr.
const char* ReadingProgram(diskimage::FileSystemKind kind, diskimage::ContainerKind container,
                           bool in_archive);

// Prints the disk's block of text, wrapped to 80 columns; `image_path` completes the command.
void PrintDiskText(const DiskReport& report, const char* image_path);

// Prints the disk as a JSON object's members after its "{", leaving it open for more members.
void PrintDiskJson(const DiskReport& report);

// Prints `text` as a JSON string: quoted, escaped, bytes that are not UTF-8 as \u00XX.
void PrintJsonString(const char* text);

#endif  // DSKINFO_DISK_REPORT_H_
