// Builds disks of the BASIC file systems (N88-BASIC, Hu-BASIC, F-BASIC) for tests and fuzz seeds:
// files placed cluster by cluster (fragmented on request), their chains and directory entries
// written as each format stores them, then every logical sector put on a D88 disk. Also turns a
// raw sector image (as mtools writes one) into a D88 disk.
#ifndef TESTS_FILE_SYSTEM_BUILDER_H_
#define TESTS_FILE_SYSTEM_BUILDER_H_

#include <string>
#include <vector>

#include "tests/d88_builder.h"

struct DiskShape {
  int cylinders, heads, sectors_per_track, size_code;
};

// The logical sectors of `raw`, track after track (head 0 then head 1 of each cylinder), as a
// D88 disk; sectors beyond `raw` hold zeros. With `only_tracks`, only those track indexes are
// stored (small fuzz seeds).
DiskBuilder SectorsToDisk(const Bytes& raw, const DiskShape& shape,
                          const std::vector<int>& only_tracks = {});

// A disk of one of the BASIC file systems, built in logical sectors.
class BasicDisk {
 public:
  enum Kind { kN88_2D, kN88_2DD, kN88_2HD, kHu_2D, kHu_2HD, kFBasic };
  explicit BasicDisk(Kind kind);

  // Stores `data` in free clusters (or in `clusters`, in that order) and writes an entry for it
  // into the root directory (or into folder `folder`, a cluster AddFolder returned). `attribute`
  // is the mode, attribute or type byte; `size` the size recorded (Hu-BASIC; -1: data's size).
  // Returns the clusters used.
  std::vector<int> AddFile(const std::string& name, const std::string& extension, uint8_t attribute,
                           const Bytes& data, std::vector<int> clusters = {}, int folder = -1,
                           long size = -1);
  // Hu-BASIC: a subdirectory of one cluster; returns its cluster.
  int AddFolder(const std::string& name, int folder = -1);

  uint8_t* Entry(int index, int folder = -1);  // the index-th entry of the root or of a folder
  void SetTableEntry(int cluster, int value);  // the table's raw value for a cluster
  int TableEntry(int cluster) const;
  Bytes& Logical() { return logical; }
  DiskShape Shape() const;
  DiskBuilder ToDisk(const std::string& name, const std::vector<int>& only_tracks = {}) const;
  int ClusterCount() const { return clusters; }
  int ClusterBytes() const { return sectors_per_cluster * 256; }

 private:
  int FirstFreeCluster() const;
  uint8_t* ClusterData(int cluster);
  void WriteTables();

  Kind kind;
  int clusters, sectors_per_cluster, cluster_start, directory_start, directory_sectors;
  int entry_size;
  std::vector<int> table;          // by cluster: -1 free, -2 reserved, -100 - used: end, else next
  std::vector<int> next_entry_in;  // by directory: root is index 0, folders by cluster + 1
  Bytes logical;
};

#endif  // TESTS_FILE_SYSTEM_BUILDER_H_
