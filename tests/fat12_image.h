// A minimal PC-98 1.2 MB FAT12 volume written byte by byte, for tests that must not depend on
// mtools: a parameter block, two FATs and root entries given as 32-byte records.
#ifndef TESTS_FAT12_IMAGE_H_
#define TESTS_FAT12_IMAGE_H_

#include <cstring>
#include <string>

#include "tests/d88_builder.h"

// 77 x 2 x 8 x 1024: 1 reserved sector, two FATs of 2 sectors, 192 root entries (6 sectors);
// cluster 2 is sector 11.
struct Fat12Image {
  static constexpr int kDataStart = 11;
  Bytes raw = Bytes(1232 * 1024, 0);

  Fat12Image() {
    const uint8_t bpb[] = {0x00, 0x04, 0x01, 0x01, 0x00, 0x02, 0xC0, 0x00, 0xD0,
                           0x04, 0xFE, 0x02, 0x00, 0x08, 0x00, 0x02, 0x00};
    memcpy(&raw[0x0B], bpb, sizeof bpb);
    for (int fat : {1, 3}) {
      raw[fat * 1024] = 0xFE;
      raw[fat * 1024 + 1] = raw[fat * 1024 + 2] = 0xFF;
    }
  }
  void SetFat(int cluster, int value) {
    for (int fat : {1, 3}) {
      uint8_t* p = &raw[fat * 1024 + cluster * 3 / 2];
      if (cluster % 2 == 0) {
        p[0] = static_cast<uint8_t>(value);
        p[1] = static_cast<uint8_t>((p[1] & 0xF0) | (value >> 8));
      } else {
        p[0] = static_cast<uint8_t>((p[0] & 0x0F) | (value << 4));
        p[1] = static_cast<uint8_t>(value >> 4);
      }
    }
  }
  // Root entry `index`: the 11 name bytes, attribute, lower-case flags, first cluster and size.
  uint8_t* Root(int index) { return &raw[5 * 1024 + 32 * index]; }
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
  uint8_t* Cluster(int cluster) { return &raw[(kDataStart + cluster - 2) * size_t{1024}]; }
};

#endif  // TESTS_FAT12_IMAGE_H_
