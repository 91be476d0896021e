// Builds CP/M and Sharp MZ DISK BASIC disks for tests and fuzz seeds: files placed block by block
// and their directory entries written as each system stores them, then the logical sectors put
// on a D88 disk (CP/M's data tracks interleaved as the X1turbo stores them; MZ's bytes inverted
// and its heads swapped).
#ifndef TESTS_CPM_MZ_BUILDER_H_
#define TESTS_CPM_MZ_BUILDER_H_

#include <string>

#include "tests/d88_builder.h"

// The X1turbo 2D CP/M format: 40 x 2 x 16 x 256, 4 reserved tracks, 2 KB blocks (152), 64
// entries in block 0, one-byte pointers, two logical extents an entry.
class CpmDisk {
 public:
  static constexpr int kBlockSize = 2048;
  static constexpr int kBlocks = 152;

  CpmDisk();
  // Stores `data` in the next free blocks, its last record padded with 1Ah, and writes its
  // entries (one per 32 KB) for `user`. Returns the index of its first entry.
  int AddFile(int user, const std::string& name, const std::string& type, const Bytes& data);
  uint8_t* Entry(int index) { return &logical[kDirectory + 32 * index]; }
  Bytes& Logical() { return logical; }
  // The disk; `interleaved` stores the data tracks' sectors as the X1turbo does (R 1, 14, 11,
  // ...). `only_tracks`, when not empty, keeps those track indexes only.
  DiskBuilder ToDisk(bool interleaved = true, const std::vector<int>& only_tracks = {}) const;

 private:
  static constexpr int kDirectory = 4 * 16 * 256;  // logical byte of block 0
  Bytes logical;
  int next_block = 1;
  int next_entry = 0;
};

// A Sharp MZ DISK BASIC data disk: 2D (35 x 2 x 16, one-sector blocks, data from block 48) or
// 2DD (80 x 2 x 16, two-sector blocks, data from block 24).
class MzDisk {
 public:
  explicit MzDisk(bool two_dd);
  // Stores `data` from the next free block and writes the next entry: `mode` (1 OBJ, 2 BTX,
  // 3 BSD), `name` (up to 17 bytes, ended by 0Dh when shorter). Returns the entry index.
  int AddFile(int mode, const std::string& name, const Bytes& data);
  uint8_t* Entry(int index) { return &logical[16 * 256 + 32 * index]; }
  Bytes& Logical() { return logical; }
  // The disk as a D88 stores it: logical track t on cylinder t / 2, head 1 - t % 2, every byte
  // inverted.
  DiskBuilder ToDisk(const std::vector<int>& only_tracks = {}) const;

 private:
  void WriteBitmap();
  bool two_dd;
  int per_block, total, offset;
  int next_block;
  int next_entry = 1;
  Bytes logical;
};

#endif  // TESTS_CPM_MZ_BUILDER_H_
