// The real corpora beside the project (../shared/realdisks/corpus1 to corpus4): every file named
// as its manifest says, with the same files, in its own container and in every container the same
// disk converts into, and every FAT12 disk that mtools reads extracted as mcopy extracts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "common/catalogue/disk_content_hash.h"
#include "diskimage/container_fit.h"
#include "diskimage/disk_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/identify.h"
#include "tests/container_builder.h"
#include "tests/e2e_fixture.h"
#include "tests/opened_image.h"
#include "tests/real_disks.h"
#include "tests/written_image.h"

namespace {

using namespace diskimage;

struct CorpusFile {
  const char* file;       // below realdisks/
  const char* container;  // ContainerName, "none" for no disk image
  const char* contents;   // FileSystemName of disk 0
  int files;              // -1: not counted
  int cylinders;
};

// What the manifests say each file holds (see the closing notes for k04 and c15).
constexpr CorpusFile kCorpus[] = {
    {"corpus1/r04-fdcbitstream-2019FM77AVDemo.d77", "d88", "f-basic", 7, 40},
    {"corpus1/r05-townsemu-FPUTEST.d77", "d88", "fat12", 9, 77},
    {"corpus1/r06-townsemu-TGDRVTest.d77", "d88", "fat12", 9, 77},
    {"corpus1/r07-townsemu-TsugaruUtil.d77", "d88", "fat12", 12, 77},
    {"corpus1/r08-townsemu-TsugaruUtil-0232b57.d77", "d88", "fat12", 8, 77},
    {"corpus1/r09-77avemu-2019_FM77AVDEMO_V2.d77", "d88", "f-basic", 7, 40},
    {"corpus1/r10-x1sglballs-x1balls.d88", "d88", "unknown", -1, 40},
    {"corpus1/r11-x1ndp-sample_2d.d88", "d88", "hu-basic", 3, 40},
    {"corpus1/r12-x1ndp-sample_2d-515d885.d88", "d88", "hu-basic", 3, 40},
    {"corpus1/r13-x1tcrtcv-2d.d88", "d88", "unknown", -1, 1},
    {"corpus1/r14-x1tcrtcv-2hd.d88", "d88", "unknown", -1, 1},
    {"corpus1/r18-iplselkai-IPLS_0_9bKai2D.d88", "d88", "mz-basic", 0, 35},
    {"corpus1/r19-iplselkai-IPLS_0_9bKai2DD.d88", "d88", "mz-basic", 0, 80},
    {"corpus1/r20-iplselkc-IPLSEL03.d88", "d88", "unknown", -1, 35},
    {"corpus1/r22-pc6001vx-blank1d.d88", "d88", "unknown", -1, 40},
    {"corpus2/r30-lsxdodgers-ldsys.d88", "d88", "fat12", 34, 40},
    {"corpus2/r31-lsxdodgers-ldsys-cf0a7d0.d88", "d88", "fat12", 35, 40},
    {"corpus2/r32-lsxdodgers-ldsys141.d88", "d88", "fat12", 20, 40},
    {"corpus2/r33-fuzzybasic-LSX162c.d88", "d88", "fat12", 13, 40},
    {"corpus2/r34-slang-LSXPROG.d88", "d88", "fat12", 2, 40},
    {"corpus2/r35-ldhdd-MKLDHD.d88", "d88", "fat12", 5, 40},
    {"corpus2/r36-neetan-blank_2DD.d88", "d88", "n88-basic", 0, 80},
    {"corpus2/r37-neetan-blank_2HD.d88", "d88", "n88-basic", 0, 77},
    {"corpus2/r38-quubee-freedos98-boot.d88", "d88", "fat12", 35, 77},
    {"corpus2/r39-quubee-np2kai_boot.d88", "d88", "unknown", -1, 80},
    {"corpus2/r40-quubee-vsync_test.d88", "d88", "unknown", -1, 80},
    {"corpus2/r41-quubee-loader.d88", "d88", "unknown", -1, 80},
    {"corpus2/r42-prjplus-plus88.d88", "d88", "unknown", -1, 40},
    {"corpus2/r43-prjplus-plusx1.d88", "d88", "unknown", -1, 40},
    {"corpus2/r44-prjplus-plus77av.d77", "d88", "unknown", -1, 40},
    {"corpus2/r45-prjds1-ds1_88.d88", "d88", "unknown", -1, 40},
    {"corpus2/r46-prjds1-ds1x1.d88", "d88", "unknown", -1, 40},
    {"corpus2/r47-prjds1-ds1.d77", "d88", "unknown", -1, 40},
    {"corpus2/r48-sosweb-SOS_TEST.d88", "d88", "hu-basic", 12, 40},
    {"corpus2/r49-fm7sd-SDINIT_FM7.d77", "d88", "f-basic", 1, 40},
    {"corpus2/r50-fm7sd-SDINIT_FM8.d77", "d88", "f-basic", 1, 40},
    {"corpus2/r51-csp-unformat_2d.d88", "d88", "unformatted", -1, 0},
    {"corpus2/r52-csp-unformat_2dd.d88", "d88", "unformatted", -1, 0},
    {"corpus2/r53-csp-unformat_2hd.d88", "d88", "unformatted", -1, 0},
    {"corpus2/r54-csp-mz2500-brown.d88", "d88", "mz-basic", 2, 80},
    {"corpus3/c01-neetan-blank_2HD.nfd", "nfd", "n88-basic", 0, 77},
    {"corpus3/c02-neetan-blank.hdm", "raw", "fat12", 0, 77},
    {"corpus3/c03-ipltest-test.hdm", "raw", "unknown", -1, 77},
    {"corpus3/c04-espnp2kai-np2test-fd1232.image", "raw", "unknown", -1, 77},
    {"corpus3/c05-ipltest-disk.xdf", "raw", "unknown", -1, 77},
    {"corpus3/c06-ipltest-my_disk.xdf", "raw", "unknown", -1, 77},
    {"corpus3/c07-createx68kdev-blank.xdf", "raw", "human68k", 0, 77},
    {"corpus3/c08-ipltest-msx720.dsk", "raw", "unknown", -1, 80},
    {"corpus3/c09-prjplus-yokoshtm2.dsk", "raw", "fat12", 4, 80},
    {"corpus3/c10-prjyoko-yokosht.dsk", "raw", "fat12", 4, 80},
    {"corpus3/c11-dosformsx-dosformsx.dsk", "raw", "fat12", 2, 80},
    {"corpus3/c12-dosformsx-dos2formsx.dsk", "raw", "fat12", 2, 80},
    {"corpus3/c13-lsxdodgers-ldsys.dsk", "raw", "fat12", 34, 80},
    {"corpus3/c14-lsxdodgers-ROM.DSK", "raw", "fat12", 6, 80},
    {"corpus3/c15-lsxdodgers-24KB.DSK", "none", "none", -1, 0},
    {"corpus3/c16-townsemu-FDIMAGE.BIN", "raw", "fat12", 1, 77},
    {"corpus3/c17-townsemu-FDIMAGEM.BIN", "raw", "fat12", 1, 77},
    {"corpus3/c18-freetownsos-RUNNERFD.BIN", "raw", "fat12", 16, 77},
    {"corpus3/c19-x1iocs-x1sword.2d", "none", "none", -1, 0},
    {"corpus4/k01.D77", "d88", "f-basic", 3, 40},
    {"corpus4/k02.D77", "d88", "f-basic", 0, 42},
    {"corpus4/k03.BIN", "raw", "fat12", 1, 80},
    {"corpus4/k04.BIN", "none", "none", -1, 0},
    {"corpus4/k05.BIN", "raw", "fat12", 16, 77},
    {"corpus4/k06.BIN", "raw", "fat12", 14, 77},
    {"corpus4/k07.d88", "d88", "unknown", -1, 40},
    {"corpus4/k08.d88", "d88", "unknown", -1, 40},
    {"corpus4/k09.d88", "d88", "fat12", 6, 40},
    {"corpus4/k10.d88", "d88", "fat12", 5, 40},
    {"corpus4/k11.d88", "d88", "n88-basic", 1, 40},
    {"corpus4/k12.d88", "d88", "n88-basic", 1, 40},
    {"corpus4/k13.d88", "d88", "n88-basic", 0, 40},
    {"corpus4/k14.d88", "d88", "n88-basic", 0, 40},
    {"corpus4/k15.dsk", "raw", "fat12", 58, 80},
    {"corpus4/k16.dsk", "raw", "fat12", 13, 80},
    {"corpus4/k17.dsk", "raw", "fat12", 13, 80},
    {"corpus4/k18.dsk", "raw", "fat12", 8, 80},
    {"corpus4/k19.dsk", "raw", "fat12", 4, 80},
    {"corpus4/k20.dsk", "raw", "fat12", 2, 80},
    {"corpus4/k21.XDF", "raw", "human68k", 43, 77},
    {"corpus4/k22.XDF", "raw", "human68k", 86, 77},
    {"corpus4/k23.XDF", "raw", "human68k", 52, 77},
};

using Read = OpenedImage;

// The disk `map` holds, as the D88 builder holds it: every track's sectors with their IDs, data
// and marks.
DiskBuilder FromMap(const DiskMap& map, int media) {
  DiskBuilder disk;
  disk.Media(static_cast<uint8_t>(media));
  for (int track = 0; track < SectorSource::kTrackCount; ++track) {
    if (!map.TrackPresent(track)) continue;
    if (map.SectorCount(track) == 0) disk.EmptyTrack(track);
    for (int i = 0; i < map.SectorCount(track); ++i) {
      const SectorHeader& s = map.Sector(track, i);
      SectorRecord record;
      record.c = s.c, record.h = s.h, record.r = s.r, record.n = s.n;
      record.data.resize(static_cast<size_t>(s.data_size));
      record.data.resize(static_cast<size_t>(map.Read(s, record.data.data(), s.data_size)));
      record.density = static_cast<uint8_t>(s.density);
      record.deleted = static_cast<uint8_t>(s.deleted);
      record.status = static_cast<uint8_t>(s.status);
      disk.AddSector(track, record);
    }
  }
  return disk;
}

// The media types of DIM and DCP for a disk of `shape`, or -1.
int DimType(const DiskShape& s) {
  if (s.sectors_per_track == 8 && s.size_code == 3 && s.cylinders == 77) return 0x00;
  if (s.sectors_per_track == 15 && s.size_code == 2 && s.cylinders == 80) return 0x02;
  if (s.sectors_per_track == 18 && s.size_code == 2 && s.cylinders == 80) return 0x09;
  return -1;
}
int DcpType(const DiskShape& s, bool fm_track0) {
  const struct {
    int type, cylinders, sectors, size_code;
    bool fm_track0;
  } kTypes[] = {{0x01, 77, 8, 3, false}, {0x02, 80, 15, 2, false}, {0x03, 80, 18, 2, false},
                {0x04, 80, 8, 2, false}, {0x05, 80, 9, 2, false},  {0x08, 80, 9, 3, false},
                {0x11, 77, 26, 1, true}, {0x19, 80, 16, 1, false}, {0x21, 80, 26, 1, false}};
  for (const auto& t : kTypes) {
    if (t.cylinders == s.cylinders && t.sectors == s.sectors_per_track &&
        t.size_code == s.size_code && t.fm_track0 == fm_track0 && s.heads == 2) {
      return t.type;
    }
  }
  return -1;
}

// The same disk in every container that can hold it: D88, NFD and TD0 (normal and advanced)
// always, IMD (and DSK) where each track holds sectors of one size, FDD and Extended DSK where no
// track holds more than they take; a raw dump, FDI, DIM and DCP where its tracks are equal (and
// the container has a code for its shape).
std::vector<std::pair<std::string, Bytes>> Conversions(const Read& read) {
  const DiskBuilder disk = FromMap(*read.map, read.image->MediaType());
  std::vector<std::pair<std::string, Bytes>> out = {{"d88", disk.Build()},
                                                    {"nfd", NfdR0Image(disk)}};
  bool one_size_a_track = true;  // IMD and DSK record one sector size a track
  size_t most_sectors = 0;       // FDD holds 26 a track, DSK 29
  int last_track = -1;
  for (const auto& [track, sectors] : disk.Tracks()) {
    for (const SectorRecord& s : sectors) one_size_a_track &= s.n == sectors[0].n;
    most_sectors = std::max(most_sectors, sectors.size());
    last_track = track;
  }
  const bool high = read.image->MediaType() == 0x20;
  out.push_back({"td0", Td0Image(disk, false, high ? 2 : 0, "")});
  out.push_back({"td0", Td0Image(disk, true, high ? 2 : 0, "")});
  if (one_size_a_track) out.push_back({"imd", ImdImage(disk, high)});
  if (most_sectors <= 26 && last_track < 160) out.push_back({"fdd", FddImage(disk, "", high)});
  if (most_sectors <= 29 && last_track >= 0) {
    const int cylinders = last_track / 2 + 1;
    out.push_back({"edsk", DskImage(disk, true, cylinders, 2)});
    if (one_size_a_track) out.push_back({"dsk", DskImage(disk, false, cylinders, 2)});
  }
  const DiskGeometry g = read.map->Summarize();
  const bool fm_track0 = g.fm_track0 && g.fm_tracks == 1;
  int size_code = 0;
  while (size_code < 7 && 128 << size_code != g.sector_size) ++size_code;
  const DiskShape shape = {g.cylinders, g.heads, g.sectors_per_track, size_code};
  const bool equal_tracks = g.tracks_present == g.cylinders * g.heads && g.empty_tracks == 0 &&
                            g.duplicate_id_tracks == 0 && g.long_tracks == 0 &&
                            g.odd_count_tracks == 0 && g.odd_size_tracks == (fm_track0 ? 1 : 0) &&
                            (fm_track0 || g.fm_tracks == 0) && g.sector_size == 128 << size_code;
  if (!equal_tracks || g.total_sectors == 0) return out;
  const Bytes raw = RawDump(disk, shape, fm_track0);
  SectorTable table;
  ContainerRead container;
  if (ReadRawImage(raw.data(), raw.size(), table, container)) out.push_back({"raw", raw});
  if (!fm_track0) out.push_back({"fdi", FdiImage(disk, shape)});
  if (DimType(shape) >= 0) {
    out.push_back({"dim", DimImage(disk, static_cast<uint8_t>(DimType(shape)), shape)});
  }
  if (DcpType(shape, fm_track0) >= 0) {
    out.push_back({"dcp", DcpImage(disk, static_cast<uint8_t>(DcpType(shape, fm_track0)), shape,
                                   160, fm_track0)});
  }
  return out;
}

// Every file below `cursor`, by its path, with its bytes: what dskget writes of them.
void ListFiles(FileSystem& fs, DirectoryCursor& cursor, const std::string& folder, int depth,
               std::map<std::string, std::string>& files) {
  DirectoryEntry entry;
  while (fs.NextEntry(cursor, entry)) {
    const std::string name = folder + std::string(reinterpret_cast<const char*>(entry.name),
                                                  static_cast<size_t>(entry.name_length));
    if (entry.directory) {
      DirectoryCursor inside;
      fs.Subdirectory(entry, inside);
      if (depth < 16) ListFiles(fs, inside, name + "/", depth + 1, files);
      continue;
    }
    ChainDamage damage = {};
    const int64_t length = fs.ReadFile(entry, nullptr, 0, damage);
    std::string bytes(static_cast<size_t>(std::max<int64_t>(length, 0)), '\0');
    fs.ReadFile(entry, reinterpret_cast<unsigned char*>(&bytes[0]), length, damage);
    files[name] = bytes;
  }
}

// The files of the disk `read` identified a file system on; none for anything else.
std::map<std::string, std::string> Files(Read& read) {
  std::map<std::string, std::string> files;
  if (read.fs->Kind() == FileSystemKind::kUnknown || read.fs->Kind() != read.id.kind) return files;
  DirectoryCursor root;
  read.fs->Root(root);
  ListFiles(*read.fs, root, "", 0, files);
  return files;
}

// True when `b` maps the sectors of `a`: IDs and data, and with `marks` density, deleted marks
// and status, with `density` density and deleted marks only.
bool SameSectors(const DiskMap& a, const DiskMap& b, bool marks, bool density) {
  for (int track = 0; track < SectorSource::kTrackCount; ++track) {
    if (a.SectorCount(track) != b.SectorCount(track)) return false;
    for (int i = 0; i < a.SectorCount(track); ++i) {
      const SectorHeader &x = a.Sector(track, i), &y = b.Sector(track, i);
      if (x.c != y.c || x.h != y.h || x.r != y.r || x.n != y.n || x.data_size != y.data_size) {
        return false;
      }
      Bytes p(static_cast<size_t>(x.data_size)), q(p.size());
      if (a.Read(x, p.data(), x.data_size) != b.Read(y, q.data(), y.data_size) || p != q) {
        return false;
      }
      if ((marks || density) && (x.Fm() != y.Fm() || x.Deleted() != y.Deleted())) return false;
      if (marks && x.status != y.status) return false;
    }
  }
  return true;
}

// Every container the library says holds a disk faithfully holds it: the library writes the disk
// into it, and the image reads back to the same sectors (marks included where the container
// records them), files and content hash, and written back into D88 to the same files again.
void ExpectHeldWhole(const char* file, Read& read) {
  const DiskFacts facts = {read.image->DiskName(), read.image->WriteProtected(),
                           read.image->MediaType()};
  const std::map<std::string, std::string> files = Files(read);
  for (ContainerKind kind : kWritableContainers) {
    if (FindContainerLosses(kind, *read.map, facts, nullptr, 0) != 0) continue;
    const std::string name = ContainerName(kind);
    Read converted(Written(kind, *read.map, facts));
    ASSERT_EQ(converted.image->Container(), kind) << file << " as " << name;
    char difference[160] = "";
    EXPECT_TRUE(SameSectors(kind, *read.map, *converted.map, true, difference, sizeof difference))
        << file << " as " << name << ": " << difference;
    EXPECT_TRUE(SameSectors(*read.map, *converted.map, name == "d88" || name == "nfd",
                            name == "fdd" || name == "imd"))
        << file << " as " << name;
    EXPECT_STREQ(converted.image->DiskName(),
                 name == "d88" || name == "nfd" || name == "fdd" ? read.image->DiskName() : "")
        << file << " as " << name;
    EXPECT_TRUE(Files(converted) == files) << file << " as " << name;
    unsigned char content[20], held[20];
    HashDiskContent(*read.map, content);
    HashDiskContent(*converted.map, held);
    EXPECT_EQ(memcmp(content, held, sizeof content), 0)
        << file << " as " << name << ": content hash";
    const DiskFacts back_facts = {converted.image->DiskName(), converted.image->WriteProtected(),
                                  converted.image->MediaType()};
    Read back(Written(ContainerKind::kD88, *converted.map, back_facts));
    EXPECT_TRUE(Files(back) == files) << file << " as " << name << " and back as D88";
  }
}

TEST(CorpusTest, EveryFileIsNamedAsItsManifestSaysInEveryContainer) {
  for (const CorpusFile& c : kCorpus) {
    REAL_DISK_OR_SKIP(path, c.file);
    Read read(ReadFile(path));
    EXPECT_STREQ(ContainerName(read.image->Container()), c.container) << c.file;
    if (read.image->DiskCount() == 0) {
      EXPECT_STREQ(c.contents, "none") << c.file;
      continue;
    }
    EXPECT_STREQ(FileSystemName(read.id.kind), c.contents) << c.file << ": " << read.id.evidence;
    EXPECT_EQ(read.id.files, c.files) << c.file;
    const DiskGeometry g = read.map->Summarize();
    EXPECT_EQ(g.cylinders, c.cylinders) << c.file;
    EXPECT_EQ(g.long_tracks, 0) << c.file;  // no track of a table entry that is none
    const std::map<std::string, std::string> files = Files(read);
    EXPECT_EQ(static_cast<int>(files.size()), std::max(c.files, 0)) << c.file;
    ExpectHeldWhole(c.file, read);
    const auto conversions = Conversions(read);
    for (const auto& [container, bytes] : conversions) {
      Read converted(bytes);
      EXPECT_STREQ(ContainerName(converted.image->Container()), container.c_str())
          << c.file << " as " << container;
      EXPECT_STREQ(FileSystemName(converted.id.kind), c.contents)
          << c.file << " as " << container << ": " << converted.id.evidence;
      EXPECT_EQ(converted.id.files, c.files) << c.file << " as " << container;
      EXPECT_TRUE(Files(converted) == files) << c.file << " as " << container;
    }
  }
}

// MAME's floptool, a reader written apart from ours, reads every container the library writes of
// each real disk that is a grid floptool has a raw format for, to the raw dump the library writes
// of it. floptool writes no raw dump of 80 x 2 x 16 x 256 or 77 x 2 x 26 x 256; its readers of
// the PC-98 containers (FDI, NFD, FDD) give its raw writers a 2D or 720 KB disk as another shape
// (a 163,840-byte dump, or zeros), so they are compared on 2HD disks; and it lays a D88 disk's
// tracks out by its media byte, so that a 2HD grid whose byte says 2D (as r05's) is no disk to
// it. Those are left out. It gives a one-sided disk as a two-sided dump, head 1 empty.
TEST(CorpusTest, FloptoolReadsEveryContainerWrittenOfEachRealDisk) {
  if (system("command -v floptool >/dev/null") != 0) GTEST_SKIP() << "needs floptool (mame-tools)";
  const std::map<size_t, std::string> raw_formats = {
      {327680, "2d"}, {368640, "pc"}, {737280, "pc"}, {1261568, "xdf"}};
  const std::map<std::string, std::string> floptool_readers = {{"d88", "d88"}, {"fdi", "pc98_fdi"},
                                                               {"dim", "dim"}, {"nfd", "nfd"},
                                                               {"imd", "imd"}, {"fdd", "fdd"}};
  TempDir dir;
  int compared = 0;
  for (const CorpusFile& c : kCorpus) {
    REAL_DISK_OR_SKIP(path, c.file);
    Read read(ReadFile(path));
    if (read.image->DiskCount() == 0) continue;
    const DiskFacts facts = {read.image->DiskName(), read.image->WriteProtected(),
                             read.image->MediaType()};
    const DiskFacts unnamed = {"", false, read.image->MediaType()};
    if (FindContainerLosses(ContainerKind::kRaw, *read.map, unnamed, nullptr, 0) != 0) continue;
    const Bytes raw = Written(ContainerKind::kRaw, *read.map, unnamed);
    const auto format = raw_formats.find(raw.size());
    if (format == raw_formats.end()) continue;
    for (ContainerKind kind : kWritableContainers) {
      const auto reader = floptool_readers.find(ContainerName(kind));
      const DiskGeometry g = read.map->Summarize();
      const int grid_media = g.sectors_per_track * g.sector_size > 5120 ? 0x20
                             : g.cylinders <= 42                        ? 0x00
                                                                        : 0x10;
      const bool pc98_reader =
          kind == ContainerKind::kFdi || kind == ContainerKind::kNfd || kind == ContainerKind::kFdd;
      if (reader == floptool_readers.end() ||
          FindContainerLosses(kind, *read.map, facts, nullptr, 0) != 0 ||
          (pc98_reader && grid_media != 0x20) ||
          (kind == ContainerKind::kD88 && read.image->MediaType() != grid_media)) {
        continue;
      }
      WriteFile(dir / "in", Written(kind, *read.map, facts));
      remove((dir / "out").c_str());
      const std::string command = "timeout 60 floptool flopconvert " + reader->second + " " +
                                  format->second + " " + dir / "in" + " " + dir / "out" +
                                  " >/dev/null 2>&1";
      EXPECT_EQ(system(command.c_str()), 0) << c.file << " as " << reader->first;
      Bytes out = ReadFile(dir / "out");
      if (g.heads == 1 && out.size() == 2 * raw.size()) {
        // A one-sided disk comes out of floptool two-sided, its head 1 empty: head 0 compared.
        const size_t track = static_cast<size_t>(g.sectors_per_track * g.sector_size);
        Bytes head0;
        for (size_t at = 0; at < out.size(); at += 2 * track) {
          head0.insert(head0.end(), out.begin() + at, out.begin() + at + track);
        }
        out = head0;
      }
      EXPECT_TRUE(out == raw) << c.file << " as " << reader->first;
      ++compared;
    }
  }
  if (compared == 0) GTEST_SKIP() << "no corpus disk read";
}

// True when every part of `path` ('/' between them) is a name of up to 8 + 3 characters.
bool FitsEightThree(const std::string& path) {
  for (size_t at = 0; at <= path.size();) {
    const size_t end = std::min(path.find('/', at), path.size());
    const std::string part = path.substr(at, end - at);
    const size_t dot = part.find('.');
    if ((dot == std::string::npos ? part.size() : dot) > 8 ||
        (dot != std::string::npos && part.size() - dot - 1 > 3)) {
      return false;
    }
    at = end + 1;
  }
  return true;
}

class CorpusDskgetTest : public E2eTest {
 protected:
  CorpusDskgetTest() : E2eTest("dskget") {}
};

// Every file of a FAT12 or Human68k disk that mtools reads whole comes out as mcopy takes it out
// (for Human68k, the paths that fit 8.3: mtools cuts longer names).
TEST_F(CorpusDskgetTest, Fat12DisksComeOutAsMcopyTakesThem) {
  if (system("command -v mcopy >/dev/null") != 0) GTEST_SKIP() << "mtools missing";
  int compared = 0;
  for (const CorpusFile& c : kCorpus) {
    const std::string contents = c.contents;
    if (contents != "fat12" && contents != "human68k") continue;
    REAL_DISK_OR_SKIP(path, c.file);
    const Read read(ReadFile(path));
    const std::string raw = root / "disk.img";
    if (std::string(c.container) == "raw") {
      WriteFile(raw, read.data);
    } else {
      const auto conversions = Conversions(read);
      const auto dump = std::find_if(conversions.begin(), conversions.end(),
                                     [](const auto& c) { return c.first == "raw"; });
      if (dump == conversions.end()) continue;
      WriteFile(raw, dump->second);
    }
    const std::string ref = root / "ref", out = root / "out";
    const std::string mcopy = "rm -rf " + ref + " " + out + " && mkdir " + ref +
                              " && MTOOLS_SKIP_CHECK=1 mcopy -s -m -i " + raw + " '::*' " + ref +
                              " >/dev/null 2>&1";
    if (system(mcopy.c_str()) != 0) continue;  // mtools does not read it whole (k17: a bad FAT)
    Run({path, "-C", out});
    const Tree ours = Snapshot(out + "/000"), theirs = Snapshot(ref);
    for (const auto& [name, entry] : ours) {
      if (contents == "human68k" && !FitsEightThree(name)) continue;
      EXPECT_TRUE(theirs.count(name) != 0 && theirs.at(name) == entry)
          << c.file << ": " << name << (theirs.count(name) != 0 ? " differs" : " not in mcopy's");
    }
    for (const auto& [name, entry] : theirs) {
      EXPECT_TRUE(ours.count(name) != 0 || contents == "human68k")
          << c.file << ": mcopy's " << name << " not in dskget's";
    }
    ++compared;
  }
  if (compared == 0) GTEST_SKIP() << "no corpus disk read";
}

}  // namespace
