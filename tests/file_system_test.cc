// Unit tests of the sector map, identification and the four file systems: each kind and variant
// named right, near misses of each kind named otherwise, every kind of chain damage reported, and
// the real disks of ../shared/realdisks.
#include "diskimage/file_system.h"

#include <gtest/gtest.h>

#include <memory>

#include "diskimage/d88_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/identify.h"
#include "tests/cpm_mz_builder.h"
#include "tests/fat12_image.h"
#include "tests/file_system_builder.h"
#include "tests/real_disks.h"

namespace {

using namespace diskimage;

// An image in memory with its first disk mapped.
struct Mapped {
  explicit Mapped(const Bytes& bytes) : data(bytes) {
    image->OpenMemory(data.data(), data.size());
    image->SelectDisk(0);
    map->Load(*image);
    Identify(*map, *fs, id);
  }
  // Every file of the tree in order: name, then its bytes.
  std::vector<std::pair<std::string, Bytes>> Files(std::vector<ChainDamage>* damages = nullptr) {
    std::vector<std::pair<std::string, Bytes>> files;
    fs->ForgetClaims();
    DirectoryCursor root;
    fs->Root(root);
    Walk(root, "", files, damages);
    return files;
  }
  void Walk(DirectoryCursor& cursor, const std::string& path,
            std::vector<std::pair<std::string, Bytes>>& files, std::vector<ChainDamage>* damages) {
    DirectoryEntry e;
    while (fs->NextEntry(cursor, e)) {
      const std::string name = path + std::string(reinterpret_cast<char*>(e.name), e.name_length);
      if (e.directory) {
        auto below = std::make_unique<DirectoryCursor>();
        fs->Subdirectory(e, *below);
        Walk(*below, name + "/", files, damages);
        continue;
      }
      // Its size first, as a caller sizing a buffer asks: the same length, and no damage from
      // reading the entry twice.
      ChainDamage sizing;
      const int64_t size = fs->ReadFile(e, nullptr, 0, sizing);
      Bytes bytes(4 << 20);
      ChainDamage damage;
      bytes.resize(static_cast<size_t>(fs->ReadFile(e, bytes.data(), bytes.size(), damage)));
      EXPECT_EQ(size, static_cast<int64_t>(bytes.size())) << name;
      EXPECT_EQ(sizing.shared, damage.shared) << name;
      files.emplace_back(name, bytes);
      if (damages != nullptr) damages->push_back(damage);
    }
  }
  Bytes data;
  std::unique_ptr<D88Image> image = std::make_unique<D88Image>();
  std::unique_ptr<DiskMap> map = std::make_unique<DiskMap>();
  std::unique_ptr<FileSystem> fs = std::make_unique<FileSystem>();
  Identification id;
};

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(IdentifyTest, NamesEveryBasicFileSystemAndVariantAndCountsItsFiles) {
  const struct {
    BasicDisk::Kind kind;
    FileSystemKind expected;
    const char* variant;
  } cases[] = {{BasicDisk::kN88_2D, FileSystemKind::kN88Basic, "2D"},
               {BasicDisk::kN88_2DD, FileSystemKind::kN88Basic, "2DD"},
               {BasicDisk::kN88_2HD, FileSystemKind::kN88Basic, "2HD"},
               {BasicDisk::kHu_2D, FileSystemKind::kHuBasic, "2D"},
               {BasicDisk::kHu_2HD, FileSystemKind::kHuBasic, "2HD"},
               {BasicDisk::kFBasic, FileSystemKind::kFBasic, "2D"}};
  for (const auto& c : cases) {
    BasicDisk disk(c.kind);
    disk.AddFile("ONE", "BIN", 0x01, PatternBytes(5000, 1));
    disk.AddFile("TWO", "", 0x01, PatternBytes(1, 2));
    Mapped m(disk.ToDisk("D").Build());
    EXPECT_EQ(m.id.kind, c.expected) << c.variant << ": " << m.id.evidence;
    EXPECT_STREQ(m.id.variant, c.variant);
    EXPECT_EQ(m.id.files, 2);
    EXPECT_EQ(m.id.damaged, 0) << c.variant;
    EXPECT_EQ(m.id.bytes_used + m.id.bytes_free,
              int64_t{m.fs->UsedClusters() + m.fs->FreeClusters()} * disk.ClusterBytes());
  }
}

TEST(IdentifyTest, NearMissesOfEachKindAreNotCalledThatKind) {
  // Hu-BASIC whose table does not begin 01 8F.
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("A", "", 0x01, PatternBytes(10, 1));
  hu.Logical()[14 * 256 + 1] = 0x8E;
  EXPECT_EQ(Mapped(hu.ToDisk("H").Build()).id.kind, FileSystemKind::kUnknown);
  // Hu-BASIC with an entry pointing at a free cluster.
  BasicDisk hu2(BasicDisk::kHu_2D);
  hu2.AddFile("A", "", 0x01, PatternBytes(10, 1));
  hu2.Entry(0)[0x1E] = 40;
  EXPECT_EQ(Mapped(hu2.ToDisk("H").Build()).id.kind, FileSystemKind::kUnknown);
  // Hu-BASIC whose table holds more than one damaged entry in 16.
  BasicDisk hu3(BasicDisk::kHu_2D);
  hu3.AddFile("A", "", 0x01, PatternBytes(10, 1));
  memset(&hu3.Logical()[14 * 256 + 70], 0x95, 6);
  EXPECT_EQ(Mapped(hu3.ToDisk("H").Build()).id.kind, FileSystemKind::kUnknown);
  // N88-BASIC whose third table copy differs.
  BasicDisk n88(BasicDisk::kN88_2D);
  n88.AddFile("A", "", 0x01, PatternBytes(10, 1));
  n88.Logical()[(37 * 16 + 15) * 256 + 3] ^= 1;
  EXPECT_EQ(Mapped(n88.ToDisk("N").Build()).id.kind, FileSystemKind::kUnknown);
  // F-BASIC with an entry of a type that does not exist.
  BasicDisk f(BasicDisk::kFBasic);
  f.AddFile("A", "", 0x02, PatternBytes(10, 1));
  f.Entry(0)[0x0B] = 7;
  EXPECT_EQ(Mapped(f.ToDisk("F").Build()).id.kind, FileSystemKind::kUnknown);
  // FAT12 whose parameter block claims 512-byte sectors on a disk of 1024-byte ones.
  Fat12Image fat;
  fat.raw[0x0C] = 0x02;
  EXPECT_EQ(Mapped(SectorsToDisk(fat.raw, {77, 2, 8, 3}).Build()).id.kind,
            FileSystemKind::kUnknown);
  // A dskcut directory with an entry whose data starts past track 79.
  DskcutLayout cut;
  cut.AddFile("A", "B", PatternBytes(300, 1));
  cut.Entry(1)[9] = 80;
  EXPECT_EQ(Mapped(cut.ToDisk("C").Build()).id.kind, FileSystemKind::kUnknown);
  // The genuine layouts next to them.
  DskcutLayout good;
  good.AddFile("A", "B", PatternBytes(300, 1));
  EXPECT_EQ(Mapped(good.ToDisk("C").Build()).id.kind, FileSystemKind::kDskcut);
  DskpullLayout pull;
  pull.AddFile("ABCD", PatternBytes(300, 1));
  EXPECT_EQ(Mapped(pull.ToDisk("P").Build()).id.kind, FileSystemKind::kDskpull);
}

TEST(IdentifyTest, UnformattedDisksAndAFormattedEmptyOne) {
  EXPECT_EQ(Mapped(DiskBuilder().Build()).id.kind, FileSystemKind::kUnformatted);
  const Bytes filler(40 * 2 * 16 * 256, 0xE5);
  Mapped e5(SectorsToDisk(filler, {40, 2, 16, 1}).Build());
  EXPECT_EQ(e5.id.kind, FileSystemKind::kUnformatted);
  // A formatted disk with a little data: the filler-only sectors are counted apart.
  Bytes some = filler;
  some[300] = 1;
  some[5000] = 2;
  EXPECT_STREQ(Mapped(SectorsToDisk(some, {40, 2, 16, 1}).Build()).id.evidence,
               "no file system's structures and neither game layout found (2 sectors hold data; "
               "formatted: 1278 hold only a filler, most of them E5h)");
  Mapped empty(BasicDisk(BasicDisk::kFBasic).ToDisk("E").Build());
  EXPECT_EQ(empty.id.kind, FileSystemKind::kFBasic);
  EXPECT_EQ(empty.id.files, 0);
  // Formatted and never written: the formatter's E5h before the FAT's FFh bytes, named F-BASIC
  // only where F-BASIC's ID sector ("S  ") is there.
  BasicDisk fresh(BasicDisk::kFBasic);
  fresh.Logical()[32 * 256] = 0xE5;
  EXPECT_EQ(Mapped(fresh.ToDisk("F").Build()).id.kind, FileSystemKind::kUnknown);
  memcpy(&fresh.Logical()[2 * 256], "S  ", 3);
  const Mapped named(fresh.ToDisk("F").Build());
  EXPECT_EQ(named.id.kind, FileSystemKind::kFBasic);
  EXPECT_EQ(named.id.files, 0);
}

TEST(DiskMapTest, SummaryCountsWhatDepartsFromTheUsualShape) {
  BasicDisk disk(BasicDisk::kN88_2HD);
  DiskBuilder builder = disk.ToDisk("P");
  // A copy-protection track: a duplicate ID, a CRC error, a deleted sector.
  std::vector<SectorRecord> odd = TrackSectors(5, 1, 26, 1, disk.Logical().data());
  odd[3].r = 1;
  odd[4].status = 0xB0;
  odd[5].deleted = 0x10;
  builder.ReplaceTrack(5, odd).EmptyTrack(160);
  Mapped m(builder.Build());
  const DiskGeometry g = m.map->Summarize();
  EXPECT_EQ(g.cylinders, 81);
  EXPECT_EQ(g.heads, 2);
  EXPECT_EQ(g.sectors_per_track, 26);
  EXPECT_EQ(g.sector_size, 256);
  EXPECT_TRUE(g.fm_track0);
  EXPECT_EQ(g.odd_size_tracks, 1);
  EXPECT_EQ(g.duplicate_id_tracks, 1);
  EXPECT_EQ(g.error_sectors, 1);
  EXPECT_EQ(g.deleted_sectors, 1);
  EXPECT_EQ(g.empty_tracks, 1);
  EXPECT_EQ(m.id.kind, FileSystemKind::kN88Basic);
}

TEST(FileSystemTest, BytesFollowEachFormatsSizeRules) {
  BasicDisk hu(BasicDisk::kHu_2D);
  const Bytes data = PatternBytes(4096 + 300, 5);
  hu.AddFile("exact", "bin", 0x01, data, {10, 4});  // fragmented, recorded size
  hu.AddFile("ascii", "txt", 0x04, Text("10 PRINT\r\n\x1A junk"), {}, -1, 0);
  const int folder = hu.AddFolder("SUB");
  hu.AddFile("inner", "", 0x01, Text("x"), {}, folder);
  Mapped m(hu.ToDisk("H").Build());
  const auto files = m.Files();
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0], std::make_pair(std::string("exact.bin"), data));
  EXPECT_EQ(files[1], std::make_pair(std::string("ascii.txt"), Text("10 PRINT\r\n")));
  EXPECT_EQ(files[2], std::make_pair(std::string("SUB/inner"), Text("x")));

  BasicDisk n88(BasicDisk::kN88_2D);
  n88.AddFile("PROG", "BAS", 0x80, PatternBytes(300, 6));  // two of eight sectors used
  n88.AddFile("TEXT", "", 0x00, Text("A\x1A"));
  Mapped n(n88.ToDisk("N").Build());
  const auto n_files = n.Files();
  ASSERT_EQ(n_files.size(), 2u);
  EXPECT_EQ(n_files[0].first, "PROG.BAS");
  EXPECT_EQ(n_files[0].second.size(), 512u);
  EXPECT_EQ(n_files[1].second, Text("A"));

  BasicDisk f(BasicDisk::kFBasic);
  f.AddFile(std::string("AB\0C", 4), "", 0x02, PatternBytes(2048, 7));  // exactly a cluster
  Mapped fm(f.ToDisk("F").Build());
  const auto f_files = fm.Files();
  ASSERT_EQ(f_files.size(), 1u);
  EXPECT_EQ(f_files[0].first, std::string("AB\0C", 4));
  EXPECT_EQ(f_files[0].second, PatternBytes(2048, 7));
}

TEST(FileSystemTest, Fat12LongNamesLowerCaseFlagsAndSizes) {
  Fat12Image fat;
  fat.SetRoot(0, "README  TXT", 0x20, 2, 1500, 0x18);  // readme.txt by its flags
  fat.SetFat(2, 4);
  fat.SetFat(4, 0xFFF);  // fragmented: 2 -> 4
  memset(fat.Cluster(2), 'a', 1024);
  memset(fat.Cluster(4), 'b', 1024);
  // "Long name.bin" in one long-name entry before its short entry.
  const std::string short_name = "LONGNA~1BIN";
  unsigned sum = 0;
  for (unsigned char c : short_name) sum = ((((sum & 1) << 7) | (sum >> 1)) + c) & 0xFF;
  uint8_t* l = fat.Root(1);
  memset(l, 0xFF, 32);
  l[0] = 0x41;
  l[11] = 0x0F;
  l[12] = 0;
  l[13] = static_cast<uint8_t>(sum);
  l[26] = l[27] = 0;
  const std::string long_name = "Long name.bin";
  const int offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  for (int i = 0; i < 13; ++i) {
    l[offsets[i]] = static_cast<uint8_t>(long_name[i]);
    l[offsets[i] + 1] = 0;
  }
  fat.SetRoot(2, short_name, 0x06, 0, 0);  // hidden, system, empty: still a file
  fat.SetRoot(3, "LABEL      ", 0x08, 0, 0);
  Mapped m(SectorsToDisk(fat.raw, {77, 2, 8, 3}).Build());
  ASSERT_EQ(m.id.kind, FileSystemKind::kFat12) << m.id.evidence;
  const auto files = m.Files();
  ASSERT_EQ(files.size(), 2u);
  Bytes expected(1024, 'a');
  expected.resize(1500, 'b');
  EXPECT_EQ(files[0], std::make_pair(std::string("readme.txt"), expected));
  DirectoryCursor root;
  m.fs->Root(root);
  DirectoryEntry e;
  ASSERT_TRUE(m.fs->NextEntry(root, e));
  ASSERT_TRUE(m.fs->NextEntry(root, e));
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(e.long_name), e.long_name_length),
            u"Long name.bin");
  EXPECT_FALSE(m.fs->NextEntry(root, e));
}

TEST(FileSystemTest, EveryKindOfChainDamageIsReported) {
  BasicDisk hu(BasicDisk::kHu_2D);
  for (const char* name : {"loop", "off", "early", "shareA", "shareB", "size", "gone", "crc"}) {
    hu.AddFile(name, "", 0x01, PatternBytes(5000, 9));  // two clusters each
  }
  hu.SetTableEntry(3, 2);    // loop: 2 -> 3 -> 2
  hu.Entry(1)[0x1E] = 100;   // off: beyond the 80 clusters
  hu.SetTableEntry(7, -1);   // early: 6 -> 7, which is free
  hu.Entry(4)[0x1E] = 9;     // shareB starts in shareA's second cluster
  hu.Entry(5)[0x12] = 0xFF;  // size: 65535 recorded
  hu.Entry(5)[0x13] = 0xFF;
  // Cluster k is track k: gone's first cluster (14) is not stored, crc's (16) has a CRC error.
  DiskBuilder builder = hu.ToDisk("D");
  builder.TrackOffset(14, 0);
  std::vector<SectorRecord> crc = TrackSectors(16, 1, 16, 1, &hu.Logical()[16 * 16 * 256]);
  crc[0].status = 0xB0;
  builder.ReplaceTrack(16, crc);
  Mapped m(builder.Build());
  std::vector<ChainDamage> d;
  const auto files = m.Files(&d);
  ASSERT_EQ(files.size(), 8u);
  EXPECT_TRUE(d[0].loops);
  EXPECT_TRUE(d[1].leaves_disk);
  EXPECT_TRUE(d[2].ends_early);
  EXPECT_FALSE(d[3].Any());
  EXPECT_TRUE(d[4].shared);
  EXPECT_TRUE(d[5].size_beyond_chain);
  EXPECT_GT(d[6].missing_sectors, 0) << files[6].first;
  EXPECT_EQ(d[7].error_sectors, 1);
  EXPECT_EQ(files[6].second.size(), 5000u);  // zeros in place of the missing sectors
}

TEST(FileSystemTest, FoldersThatLoopEndWithoutRepeating) {
  BasicDisk hu(BasicDisk::kHu_2D);
  const int folder = hu.AddFolder("LOOP");
  hu.AddFile("f", "", 0x01, Text("x"), {}, folder);
  uint8_t* back = hu.Entry(1, folder);  // an entry of the folder naming the folder itself
  memcpy(back, hu.Entry(0), 32);
  Mapped m(hu.ToDisk("L").Build());
  EXPECT_EQ(m.Files().size(), 1u);
  // A FAT12 folder whose chain comes back to its first cluster: its entries are read once.
  Fat12Image fat = Fat12Image::Small();
  fat.SetRoot(0, "SUB        ", 0x10, 2, 0);
  fat.SetFat(2, 3);
  fat.SetFat(3, 2);
  memset(fat.Cluster(2), 0xE5, 1024);  // deleted entries, so the folder reads on into the loop
  memset(fat.Cluster(2), 0, 96);
  memcpy(fat.Cluster(2), ".          \x10", 12);
  memcpy(fat.Cluster(2) + 32, "..         \x10", 12);
  memcpy(fat.Cluster(2) + 64, "A       TXT\x20", 12);  // empty
  Mapped looped(SectorsToDisk(fat.raw, {40, 1, 8, 2}).Build());
  EXPECT_EQ(looped.Files().size(), 1u);
  EXPECT_EQ(looped.id.damaged, 1);
}

// CP/M stores no signature: a freshly formatted directory (all E5h) is no evidence, a file or a
// malformed entry decides; an MZ disk is one by its bitmap, files or none.
TEST(IdentifyTest, CpmAndMzAreNamedOnlyOnTheirEvidence) {
  CpmDisk blank;
  EXPECT_EQ(Mapped(blank.ToDisk().Build()).id.kind, FileSystemKind::kUnformatted);
  CpmDisk one;
  one.AddFile(0, "A", "COM", PatternBytes(10, 1));
  const Mapped cpm(one.ToDisk().Build());
  EXPECT_EQ(cpm.id.kind, FileSystemKind::kCpm);
  EXPECT_STREQ(cpm.id.variant, "X1turbo 2D");
  EXPECT_EQ(cpm.id.bytes_used, 2048);
  one.Entry(1)[0] = 0x40;  // no status an entry has
  EXPECT_NE(Mapped(one.ToDisk().Build()).id.kind, FileSystemKind::kCpm);
  const Mapped empty_mz(MzDisk(false).ToDisk().Build());
  EXPECT_EQ(empty_mz.id.kind, FileSystemKind::kMzBasic);
  EXPECT_STREQ(empty_mz.id.variant, "2D");
  EXPECT_EQ(empty_mz.id.files, 0);
  MzDisk dd(true);
  dd.AddFile(2, "brown", PatternBytes(12486, 2));
  const Mapped mz(dd.ToDisk().Build());
  EXPECT_EQ(mz.id.kind, FileSystemKind::kMzBasic);
  EXPECT_STREQ(mz.id.variant, "2DD");
  EXPECT_EQ(mz.id.bytes_used, 25 * 512);
  dd.Logical()[15 * 256 + 0xFF] = 5;  // sectors a block: 6
  EXPECT_NE(Mapped(dd.ToDisk().Build()).id.kind, FileSystemKind::kMzBasic);
}

TEST(RealDisksTest, EachIsIdentifiedAndItsFilesRead) {
  const struct {
    const char* file;
    FileSystemKind kind;
    int files;
  } cases[] = {{"x1ndp_sample_2d.d88", FileSystemKind::kHuBasic, 3},
               {"HuBASIC_Format_2D.d88", FileSystemKind::kHuBasic, 2},
               {"2019FM77AVDemo.d77", FileSystemKind::kFBasic, 7},
               {"ldsys_lsx_dodgers_x1.d88", FileSystemKind::kFat12, 34},
               {"CPM_Format_2D_turboCPM_X1turbo.d88", FileSystemKind::kCpm, 2}};
  for (const auto& c : cases) {
    REAL_DISK_OR_SKIP(path, c.file);
    FILE* in = fopen(path.c_str(), "rb");
    ASSERT_NE(in, nullptr) << path;
    Bytes bytes(400000);
    bytes.resize(fread(bytes.data(), 1, bytes.size(), in));
    fclose(in);
    Mapped m(bytes);
    EXPECT_EQ(m.id.kind, c.kind) << c.file;
    EXPECT_EQ(m.id.files, c.files) << c.file;
    EXPECT_EQ(m.id.damaged, c.files > 0 ? 0 : -1) << c.file;
  }
}

}  // namespace
