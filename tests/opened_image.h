// An image in memory opened as the programs open it, its first disk mapped and identified: what
// the container and identification tests look at.
#ifndef TESTS_OPENED_IMAGE_H_
#define TESTS_OPENED_IMAGE_H_

#include <memory>

#include "diskimage/disk_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/identify.h"
#include "tests/d88_builder.h"

struct OpenedImage {
  explicit OpenedImage(const Bytes& bytes) : data(bytes) {
    image->OpenMemory(data.data(), data.size());
    if (image->SelectDisk(0)) map->Load(image->Disk());
    diskimage::Identify(*map, *fs, id);
  }
  Bytes data;
  std::unique_ptr<diskimage::DiskImage> image = std::make_unique<diskimage::DiskImage>();
  std::unique_ptr<diskimage::DiskMap> map = std::make_unique<diskimage::DiskMap>();
  std::unique_ptr<diskimage::FileSystem> fs = std::make_unique<diskimage::FileSystem>();
  diskimage::Identification id;
};

#endif  // TESTS_OPENED_IMAGE_H_
