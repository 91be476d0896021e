// A FAT12 volume written byte by byte, for tests and fuzz seeds that must not depend on mtools: a
// parameter block, two FATs of equal content and root entries given field by field. By default
// the PC-98 1.2 MB layout; Small() is a one-sided 160 KB disk.
#ifndef TESTS_FAT12_IMAGE_H_
#define TESTS_FAT12_IMAGE_H_

#include <cstring>
#include <string>

#include "tests/d88_builder.h"

class Fat12Image {
 public:
  // 77 x 2 x 8 x 1024: two FATs of 2 sectors, 192 root entries; cluster 2 is sector 11.
  Fat12Image() : Fat12Image(1024, 1232, 192, 2, 8, 2) {}
  // 40 x 1 x 8 x 512: two FATs of 1 sector, 64 root entries; cluster 2 is sector 7.
  static Fat12Image Small() { return Fat12Image(512, 320, 64, 1, 8, 1); }
  // 80 x 2 x 8 x 512 (PC-98 640 KB): two FATs of 4 sectors, 112 root entries.
  static Fat12Image Pc98_640K() { return Fat12Image(512, 1280, 112, 4, 8, 2); }
  // 80 x 2 x 9 x 512 and 80 x 1 x 9 x 512 (MSX 720 KB and 360 KB, one sector a cluster): 112
  // root entries.
  static Fat12Image Msx720K() { return Fat12Image(512, 1440, 112, 5, 9, 2); }
  static Fat12Image Msx360K() { return Fat12Image(512, 720, 112, 3, 9, 1); }

  void SetFat(int cluster, int value) {
    for (int fat = 0; fat < 2; ++fat) {
      uint8_t* p = &raw[(1 + fat * sectors_per_fat) * size_t(sector_size) + cluster * 3 / 2];
      if (cluster % 2 == 0) {
        p[0] = static_cast<uint8_t>(value);
        p[1] = static_cast<uint8_t>((p[1] & 0xF0) | (value >> 8));
      } else {
        p[0] = static_cast<uint8_t>((p[0] & 0x0F) | (value << 4));
        p[1] = static_cast<uint8_t>(value >> 4);
      }
    }
  }
  uint8_t* Root(int index) {
    return &raw[(1 + 2 * sectors_per_fat) * size_t(sector_size) + 32 * index];
  }
  // Root entry `index`: the 11 name bytes, attribute, first cluster, size, lower-case flags.
  void SetRoot(int index, const std::string& name11, uint8_t attribute, int cluster, int size,
               uint8_t case_flags = 0) {
    uint8_t* e = Root(index);
    memcpy(e, name11.data(), 11);
    e[11] = attribute;
    e[12] = case_flags;
    e[0x18] = 0x21;  // 1980-01-01
    e[0x1A] = static_cast<uint8_t>(cluster);
    e[0x1B] = static_cast<uint8_t>(cluster >> 8);
    for (int i = 0; i < 4; ++i) e[0x1C + i] = static_cast<uint8_t>(size >> (8 * i));
  }
  uint8_t* Cluster(int cluster) { return &raw[(data_start + cluster - 2) * size_t(sector_size)]; }

  Bytes raw;

 private:
  Fat12Image(int bytes, int total, int root_entries, int fat_sectors, int track_sectors, int heads)
      : raw(size_t(bytes) * total, 0),
        sector_size(bytes),
        sectors_per_fat(fat_sectors),
        data_start(1 + 2 * fat_sectors + root_entries * 32 / bytes) {
    const uint8_t bpb[] = {static_cast<uint8_t>(bytes),
                           static_cast<uint8_t>(bytes >> 8),
                           1,
                           1,
                           0,
                           2,
                           static_cast<uint8_t>(root_entries),
                           static_cast<uint8_t>(root_entries >> 8),
                           static_cast<uint8_t>(total),
                           static_cast<uint8_t>(total >> 8),
                           0xFE,
                           static_cast<uint8_t>(fat_sectors),
                           0,
                           static_cast<uint8_t>(track_sectors),
                           0,
                           static_cast<uint8_t>(heads),
                           0};
    memcpy(&raw[0x0B], bpb, sizeof bpb);
    for (int fat = 0; fat < 2; ++fat) {
      uint8_t* p = &raw[(1 + fat * fat_sectors) * size_t(bytes)];
      p[0] = 0xFE;
      p[1] = p[2] = 0xFF;
    }
  }

  int sector_size, sectors_per_fat, data_start;
};

#endif  // TESTS_FAT12_IMAGE_H_
