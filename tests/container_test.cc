// Unit tests of the containers: the same disk written in every container reads back to the same
// sector map (marks, density and errors where the container keeps them), raw dumps of one size
// told apart by their boot sectors, and cut or lying headers that read nothing past the image.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "diskimage/container_fit.h"
#include "diskimage/containers/lzhuf.h"
#include "diskimage/disk_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/identify.h"
#include "tests/container_builder.h"
#include "tests/fat12_image.h"
#include "tests/opened_image.h"
#include "tests/test_files.h"
#include "tests/written_image.h"

namespace {

using namespace diskimage;

using Opened = OpenedImage;

Bytes SectorData(const DiskMap& map, const SectorHeader& s) {
  Bytes bytes(static_cast<size_t>(s.data_size));
  bytes.resize(static_cast<size_t>(map.Read(s, bytes.data(), s.data_size)));
  return bytes;
}

// Every track of `a` in `b` with the same sectors in the same order: IDs, sizes and data, and
// density, deleted marks and status when `with_marks`.
void ExpectSameSectors(const DiskMap& a, const DiskMap& b, bool with_marks, const char* what) {
  for (int track = 0; track < SectorSource::kTrackCount; ++track) {
    ASSERT_EQ(a.SectorCount(track), b.SectorCount(track)) << what << " track " << track;
    for (int i = 0; i < a.SectorCount(track); ++i) {
      const SectorHeader &x = a.Sector(track, i), &y = b.Sector(track, i);
      ASSERT_EQ(std::string({char(x.c), char(x.h), char(x.r), char(x.n)}),
                std::string({char(y.c), char(y.h), char(y.r), char(y.n)}))
          << what << " track " << track << " sector " << i;
      ASSERT_EQ(SectorData(a, x), SectorData(b, y)) << what << " track " << track;
      if (!with_marks) continue;
      EXPECT_EQ(x.Fm(), y.Fm()) << what << " track " << track;
      EXPECT_EQ(x.Deleted(), y.Deleted()) << what << " track " << track;
      EXPECT_EQ(x.status, y.status) << what << " track " << track;
    }
  }
}

TEST(ContainerTest, EveryContainerHoldsTheSectorsOfTheSameD88Disk) {
  Fat12Image fat;
  fat.SetFat(2, 0xFFF);
  fat.SetRoot(0, "README  TXT", 0x20, 2, 6);
  memcpy(fat.Cluster(2), "hello\n", 6);
  const DiskShape shape = {77, 2, 8, 3};
  const DiskBuilder disk = SectorsToDisk(fat.raw, shape).Media(0x20);
  const Opened d88(disk.Build());
  ASSERT_EQ(d88.image->Container(), ContainerKind::kD88);
  ASSERT_EQ(d88.id.kind, FileSystemKind::kFat12);
  const struct {
    const char* what;
    Bytes bytes;
    ContainerKind kind;
  } containers[] = {
      {"raw", RawDump(disk, shape), ContainerKind::kRaw},
      {"fdi", FdiImage(disk, shape), ContainerKind::kFdi},
      {"dim", DimImage(disk, 0x00, shape), ContainerKind::kDim},
      {"dcp 160", DcpImage(disk, 0x01, shape, 160), ContainerKind::kDcp},
      {"dcp 161", DcpImage(disk, 0x01, shape, 161), ContainerKind::kDcp},
      {"nfd r0", NfdR0Image(disk), ContainerKind::kNfd},
      {"nfd r1", NfdR1Image(disk), ContainerKind::kNfd},
      {"imd", ImdImage(disk, true), ContainerKind::kImd},
      {"fdd", FddImage(disk, "", true), ContainerKind::kFdd},
      {"dsk", DskImage(disk, false, 77, 2), ContainerKind::kDsk},
      {"edsk", DskImage(disk, true, 77, 2), ContainerKind::kEdsk},
      {"td0", Td0Image(disk, false, 2, ""), ContainerKind::kTd0},
      {"td0 advanced", Td0Image(disk, true, 2, "a comment"), ContainerKind::kTd0},
  };
  for (const auto& c : containers) {
    const Opened other(c.bytes);
    EXPECT_EQ(other.image->Container(), c.kind) << c.what;
    EXPECT_STREQ(other.image->NotRead(), "") << c.what;
    EXPECT_STREQ(other.image->Problem(), "") << c.what;
    EXPECT_EQ(other.image->DiskCount(), 1) << c.what;
    EXPECT_EQ(other.image->MediaType(), 0x20) << c.what;
    ExpectSameSectors(*d88.map, *other.map, true, c.what);
    EXPECT_EQ(other.id.kind, FileSystemKind::kFat12) << c.what;
    EXPECT_EQ(other.id.files, 1) << c.what;
  }
}

// A PC-98 BASIC 2HD disk: track 0 of 26 FM sectors of 128 bytes stored interleaved, the rest 26
// of 256; a deleted sector, a data CRC error, a sector of one byte value, an ID whose C is not
// the cylinder.
DiskBuilder MarkedDisk() {
  DiskBuilder disk;
  disk.Media(0x20);
  disk.ReplaceTrack(0, InterleavedFmTrack(26));
  for (int track = 1; track < 154; ++track) {
    for (int r = 1; r <= 26; ++r) {
      SectorRecord s;
      s.c = static_cast<uint8_t>(track / 2), s.h = static_cast<uint8_t>(track % 2);
      s.r = static_cast<uint8_t>(r);
      s.data = PatternBytes(256, track * 26 + r);
      disk.AddSector(track, s);
    }
  }
  disk.ReplaceTrack(3, WithMarks(disk.Tracks().at(3), 40));
  return disk;
}

TEST(ContainerTest, MarksDensityAndErrorsSurviveWhereTheContainerKeepsThem) {
  const DiskBuilder disk = MarkedDisk();
  const Opened d88(disk.Build());
  for (const auto& [what, bytes] : {std::pair<const char*, Bytes>{"nfd r0", NfdR0Image(disk)},
                                    {"nfd r1", NfdR1Image(disk)},
                                    {"imd", ImdImage(disk, true)},
                                    {"dsk", DskImage(disk, false, 77, 2)},
                                    {"edsk", DskImage(disk, true, 77, 2)},
                                    {"td0", Td0Image(disk, false, 2, "")},
                                    {"td0 advanced", Td0Image(disk, true, 2, "marked")}}) {
    const Opened other(bytes);
    EXPECT_STREQ(other.image->Problem(), "") << what;
    ExpectSameSectors(*d88.map, *other.map, true, what);
  }
  // FDD keeps IDs, density and deleted marks but no read errors; a sector of one byte value is
  // its slot's fill byte; the memo is the disk's name.
  const Opened fdd(FddImage(disk, "MARKED", true));
  EXPECT_EQ(fdd.image->Container(), ContainerKind::kFdd);
  EXPECT_STREQ(fdd.image->DiskName(), "MARKED");
  EXPECT_STREQ(fdd.image->Problem(), "");
  ExpectSameSectors(*d88.map, *fdd.map, false, "fdd");
  EXPECT_TRUE(fdd.map->Sector(0, 0).Fm());
  EXPECT_TRUE(fdd.map->Sector(3, 0).Deleted());
  EXPECT_TRUE(fdd.map->Sector(3, 2).repeated_byte);
  EXPECT_EQ(fdd.map->Sector(3, 1).status, 0x00);
  // A raw dump of this size is the BASIC 2HD grid: track 0 FM, 128-byte sectors in order.
  const Opened raw(RawDump(disk, {77, 2, 26, 1}, true));
  ASSERT_EQ(raw.data.size(), 1021696u);
  EXPECT_EQ(raw.image->Container(), ContainerKind::kRaw);
  ASSERT_EQ(raw.map->SectorCount(0), 26);
  EXPECT_TRUE(raw.map->Sector(0, 0).Fm());
  EXPECT_EQ(raw.map->Sector(0, 13).r, 14);
  EXPECT_EQ(SectorData(*raw.map, raw.map->Sector(0, 13)), PatternBytes(128, 14));
  EXPECT_TRUE(raw.map->Summarize().fm_track0);
  const Opened dcp(DcpImage(disk, 0x11, {77, 2, 26, 1}, 160, true));
  EXPECT_EQ(dcp.image->Container(), ContainerKind::kDcp);
  EXPECT_TRUE(dcp.map->Summarize().fm_track0);
}

TEST(ContainerTest, RawDumpsOfOneSizeAreToldApartByTheBootSector) {
  BasicDisk basic(BasicDisk::kN88_2DD);
  basic.AddFile("GAME", "BAS", 0x80, PatternBytes(300, 1));
  const Opened n88(RawDump(basic.ToDisk("N88"), basic.Shape()));
  Fat12Image fat = Fat12Image::Pc98_640K();
  const Opened dos(RawDump(SectorsToDisk(fat.raw, {80, 2, 8, 2}), {80, 2, 8, 2}));
  ASSERT_EQ(n88.data.size(), 655360u);
  ASSERT_EQ(dos.data.size(), 655360u);
  EXPECT_EQ(n88.id.kind, FileSystemKind::kN88Basic) << n88.id.evidence;
  EXPECT_EQ(n88.map->Summarize().sectors_per_track, 16);
  EXPECT_EQ(dos.id.kind, FileSystemKind::kFat12) << dos.id.evidence;
  EXPECT_EQ(dos.map->Summarize().sector_size, 512);
  EXPECT_EQ(dos.image->MediaType(), 0x10);
  // 1.44 MB: 18 x 512 unless the boot sector says 1024-byte sectors or is an X68000's.
  Bytes x68k(1474560, 0), pc(1474560, 0);
  x68k[0] = 0x60;
  pc[0x0B] = 0x00, pc[0x0C] = 0x02;
  EXPECT_EQ(Opened(x68k).map->Summarize().sector_size, 1024);
  EXPECT_EQ(Opened(pc).map->Summarize().sector_size, 512);
}

// An MSX boot sector passes for a D88 header (media byte 00h at 1Bh, its code a size field and a
// track table), but says no more than the file holds; its parameter block agrees with the raw
// size. A D88 disk cut at a raw size stays a D88 disk cut short.
TEST(ContainerTest, BootSectorsThatPassForD88HeadersAreReadAsTheRawDumpsTheyAre) {
  for (Fat12Image fat : {Fat12Image::Msx720K(), Fat12Image::Msx360K()}) {
    const uint8_t boot[] = {0xEB, 0xFE, 0x90};
    std::copy(std::begin(boot), std::end(boot), fat.raw.begin());
    const uint8_t code[] = {0x00, 0x00, 0xD0, 0xED, 'V', 'O', 'L', '_', 0x00, 0x30, 0x00, 0x00};
    std::copy(std::begin(code), std::end(code), fat.raw.begin() + 0x1C);
    fat.SetRoot(0, "AUTOEXECBAT", 0x20, 2, 20);
    fat.SetFat(2, 0xFFF);
    const Opened msx(fat.raw);
    EXPECT_EQ(msx.image->Container(), ContainerKind::kRaw) << fat.raw.size();
    EXPECT_EQ(msx.id.kind, FileSystemKind::kFat12) << msx.id.evidence;
    EXPECT_EQ(msx.id.files, 1) << msx.id.evidence;
  }
  Bytes cut = SectorsToDisk(Fat12Image().raw, {77, 2, 8, 3}).Build();
  cut.resize(737280);
  const Opened d88(cut);
  EXPECT_EQ(d88.image->Container(), ContainerKind::kD88);
  EXPECT_EQ(d88.id.kind, FileSystemKind::kFat12) << d88.id.evidence;
  // No track in the file and a size field that says more: no disk image.
  Bytes header(5000, 0xFF);
  header[0x1B] = 0x00, header[0x1C] = 0x00, header[0x1D] = 0x00, header[0x1E] = 0x20;
  header[0x1F] = 0x00;
  EXPECT_EQ(Opened(header).image->Container(), ContainerKind::kNone);
  // A whole D88 disk named as another container's signature begins stays D88.
  for (const char* name : {"IMD 1.18: 01/02", "MV - CPCEMU Disk", "VFD1.00", "T98FDDIMAGE.R0"}) {
    const Opened named(SectorsToDisk(Fat12Image().raw, {77, 2, 8, 3}).Name(name).Build());
    EXPECT_EQ(named.image->Container(), ContainerKind::kD88) << name;
  }
}

// A track table that ends where the first track begins (0x2A0: 160 entries, the last four fields
// being the first sector's header) and an entry that points into another track's data: neither
// is a track of the map.
TEST(ContainerTest, TrackTableEntriesPastTheFirstTrackOrInsideAnotherAreNoTracks) {
  Fat12Image fat;
  fat.SetRoot(0, "GAME    BIN", 0x20, 2, 100);
  fat.SetFat(2, 0xFFF);
  DiskBuilder disk = SectorsToDisk(fat.raw, {77, 2, 8, 3});
  disk.TrackOffset(163, 0x2B0 + 3 * 8 * (16 + 1024) + 40);  // inside track 3
  Bytes phantom = disk.Build();
  // Track 153 stored as zeros, as a writer stores an unformatted track: no sector.
  std::fill(phantom.end() - 8 * 1040, phantom.end(), 0);
  Bytes short_table(phantom.begin(), phantom.begin() + 0x2A0);
  short_table.insert(short_table.end(), phantom.begin() + 0x2B0, phantom.end());
  const auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) short_table[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  put32(0x1C, static_cast<uint32_t>(short_table.size()));
  for (int track = 0; track < 154; ++track) put32(0x20 + 4 * track, 0x2A0 + track * 8 * 1040);
  for (const Bytes& bytes : {phantom, short_table}) {
    const Opened opened(bytes);
    const DiskGeometry g = opened.map->Summarize();
    EXPECT_EQ(g.tracks_present, 154);
    EXPECT_EQ(g.empty_tracks, 1);
    EXPECT_EQ(g.cylinders, 77);
    EXPECT_EQ(g.odd_count_tracks + g.odd_size_tracks + g.fm_tracks + g.error_sectors, 0);
    EXPECT_EQ(opened.id.files, 1);
  }
  // The reader of the game layouts' programs still reads every entry as stored.
  D88Image raw_reader;
  raw_reader.OpenMemory(short_table.data(), short_table.size());
  raw_reader.SelectDisk(0);
  EXPECT_TRUE(raw_reader.HasTrack(161));
}

// Which containers hold a disk whole, and what each of the others would lose, one phrase a kind.
TEST(ContainerTest, EachContainerSaysWhatItCannotHoldOfADisk) {
  const auto losses = [](ContainerKind kind, const Opened& disk, const DiskFacts& facts) {
    ContainerLoss found[8];
    const int count = FindContainerLosses(kind, *disk.map, facts, found, 8);
    std::string said;
    for (int i = 0; i < std::min(count, 8); ++i) said += std::string(found[i].text) + "\n";
    return said;
  };
  const DiskFacts plain = {"", false};
  Fat12Image fat;
  const Opened dos(SectorsToDisk(fat.raw, {77, 2, 8, 3}).Media(0x20).Build());
  for (ContainerKind kind : kWritableContainers) {
    EXPECT_EQ(losses(kind, dos, plain), "") << ContainerName(kind);
  }
  EXPECT_EQ(losses(ContainerKind::kRaw, dos, {"GAME DISK", true}),
            "the disk's name \"GAME DISK\"; a raw dump cannot hold it\n"
            "write protection; a raw dump cannot hold it\n");
  const Opened marked(MarkedDisk().Build());
  for (ContainerKind kind : {ContainerKind::kD88, ContainerKind::kNfd, ContainerKind::kImd}) {
    EXPECT_EQ(losses(kind, marked, plain), "") << ContainerName(kind);
  }
  EXPECT_EQ(losses(ContainerKind::kFdd, marked, plain),
            "1 sector with an error status; FDD cannot hold it\n");
  EXPECT_EQ(losses(ContainerKind::kRaw, marked, plain),
            "track 0 holds FM sectors; a raw dump cannot hold it\n"
            "track 0's sector IDs are not 1 to 26 in order, of its cylinder and head; a raw dump "
            "cannot hold it\n"
            "1 sector with an error status; a raw dump cannot hold it\n"
            "1 sector with a deleted-data mark; a raw dump cannot hold it\n");
  // The BASIC 2HD grid with its FM track 0 in order is what a 1,021,696-byte dump holds; FDI
  // has no FM track.
  const Opened basic(RawDump(MarkedDisk(), {77, 2, 26, 1}, true));
  EXPECT_EQ(losses(ContainerKind::kRaw, basic, plain), "");
  EXPECT_EQ(losses(ContainerKind::kFdi, basic, plain),
            "track 0 holds FM sectors; FDI cannot hold it\n"
            "track 0's sector IDs are not 1 to 26 in order, of its cylinder and head; FDI cannot "
            "hold it\n");
}

// The writers lay a disk out as the format documents say, checked byte by byte where our own
// readers could share a writer's mistake: D88 as the builder writes it; NFD's read results and
// controller status registers; FDD's fill bytes, flags and memo; IMD's record types and maps.
TEST(ContainerTest, WritersLayDisksOutAsTheFormatDocumentsSay) {
  DiskBuilder disk = MarkedDisk();
  disk.Name("MARKED").WriteProtect(0x10);
  const Opened marked(disk.Build());
  const DiskFacts facts = {"MARKED", true, 0x20};
  EXPECT_EQ(Written(ContainerKind::kD88, *marked.map, facts), disk.Build());

  // NFD r0: the entry of track 3's first four sectors (deleted, CRC error, E5h, cylinder 40).
  const Bytes nfd = Written(ContainerKind::kNfd, *marked.map, facts);
  ASSERT_EQ(nfd.size(), 0x10A10u + 26 * 128 + 153 * 26 * 256);
  EXPECT_EQ(std::string(nfd.begin(), nfd.begin() + 15), std::string("T98FDDIMAGE.R0\0", 15));
  EXPECT_EQ(std::string(nfd.begin() + 0x10, nfd.begin() + 0x16), "MARKED");
  EXPECT_EQ(ReadLe32(&nfd[0x110]), 0x10A10);
  EXPECT_EQ(nfd[0x114], 1);
  const auto nfd_entry = [&](int track, int i) { return &nfd[0x120 + (track * 26 + i) * 16]; };
  EXPECT_EQ(Bytes(nfd_entry(0, 0), nfd_entry(0, 0) + 11),
            Bytes({0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x90}));  // FM, the first of 26 interleaved
  EXPECT_EQ(Bytes(nfd_entry(3, 0), nfd_entry(3, 0) + 10),
            Bytes({1, 1, 1, 1, 1, 1, 0, 0x04, 0, 0x40}));  // deleted: ST2's control mark
  EXPECT_EQ(Bytes(nfd_entry(3, 1), nfd_entry(3, 1) + 10),
            Bytes({1, 1, 2, 1, 1, 0, 0xB0, 0x44, 0x20, 0x20}));  // data CRC error
  EXPECT_EQ(nfd_entry(3, 3)[0], 40);
  EXPECT_EQ(nfd_entry(154, 0)[0], 0xFF);  // no sector

  // FDD: the E5h sector is its slot's fill byte, not stored; the FM track's MFM flag is 0.
  const Bytes fdd = Written(ContainerKind::kFdd, *marked.map, facts);
  EXPECT_EQ(std::string(fdd.begin(), fdd.begin() + 8), std::string("VFD1.00\0", 8));
  EXPECT_EQ(std::string(fdd.begin() + 8, fdd.begin() + 14), "MARKED");
  EXPECT_EQ(fdd[0x88], 1);
  const auto fdd_slot = [&](int track, int i) { return &fdd[0xDC + (track * 26 + i) * 12]; };
  EXPECT_EQ(Bytes(fdd_slot(0, 0), fdd_slot(0, 0) + 12),
            Bytes({0, 0, 1, 0, 0xFF, 0, 0, 1, 0xFC, 0xC3, 0, 0}));  // data at 0xC3FC
  EXPECT_EQ(Bytes(fdd_slot(3, 2), fdd_slot(3, 2) + 12),
            Bytes({1, 1, 3, 1, 0xE5, 0, 1, 1, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(fdd.size(), 0xC3FCu + 26 * 128 + (153 * 26 - 1) * 256);

  // IMD: track 3 at 500 kbps MFM, with a cylinder map (sector 4's C is 40) and records 03h
  // (deleted), 05h (CRC error) and 02h (one byte, E5h).
  const Bytes imd = Written(ContainerKind::kImd, *marked.map, facts);
  ASSERT_EQ(std::string(imd.begin(), imd.begin() + 10), "IMD 1.18: ");
  size_t at = static_cast<size_t>(std::find(imd.begin(), imd.end(), 0x1A) - imd.begin()) + 1;
  for (int track = 0; track < 3; ++track) {
    const int count = imd[at + 3], size = 128 << imd[at + 4];
    at += 5 + count * (1 + (imd[at + 2] & 0x80 ? 1 : 0) + (imd[at + 2] & 0x40 ? 1 : 0));
    for (int i = 0; i < count; ++i) at += imd[at] % 2 == 1 ? 1 + size : 2;
  }
  EXPECT_EQ(Bytes(&imd[at], &imd[at + 5]), Bytes({3, 1, 0x81, 26, 1}));
  const size_t records = at + 5 + 2 * 26;
  EXPECT_EQ(imd[at + 5 + 26 + 3], 40);
  EXPECT_EQ(imd[records], 3);
  EXPECT_EQ(imd[records + 1 + 256], 5);
  EXPECT_EQ(Bytes(&imd[records + 2 + 512], &imd[records + 4 + 512]), Bytes({2, 0xE5}));

  // A sector whose cylinder ID is FFh has no slot in NFD or FDD; IMD marks no sector without data
  // as deleted.
  DiskBuilder odd = MarkedDisk();
  std::vector<SectorRecord> track = odd.Tracks().at(5);
  track[0].c = 0xFF;
  track[1].status = 0xF0, track[1].deleted = 0x10, track[1].data.clear();
  odd.ReplaceTrack(5, track);
  const Opened odd_disk(odd.Build());
  ContainerLoss loss[4];
  ASSERT_EQ(FindContainerLosses(ContainerKind::kNfd, *odd_disk.map, {"", false, 0x20}, loss, 4), 1);
  EXPECT_STREQ(loss[0].text,
               "1 sector of cylinder ID FFh, which marks an empty slot; NFD cannot hold it");
  ASSERT_EQ(FindContainerLosses(ContainerKind::kImd, *odd_disk.map, {"", false, 0x20}, loss, 4), 1);
  EXPECT_STREQ(loss[0].text, "1 sector with a deleted-data mark; IMD cannot hold it");
}

// MAME's floptool, a reader written apart from ours, takes the same sectors from the builder's DSK,
// Extended DSK and TD0 images (normal and LZHUF-compressed) of an X1 2D disk.
TEST(ContainerTest, FloptoolReadsTheBuildersDskAndTd0ImagesToTheSameSectors) {
  if (system("command -v floptool >/dev/null") != 0) GTEST_SKIP() << "needs floptool (mame-tools)";
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GAME", "BIN", 0x01, PatternBytes(20000, 3));
  hu.AddFile("TEXT", "ASC", 0x04, Bytes(5000, 'a'));
  const DiskBuilder disk = hu.ToDisk("X1");
  const Bytes raw = RawDump(disk, hu.Shape());
  TempDir dir;
  const struct {
    const char* format;
    Bytes bytes;
  } images[] = {{"dsk", DskImage(disk, false, 40, 2)},
                {"dsk", DskImage(disk, true, 40, 2)},
                {"td0", Td0Image(disk, false, 0, "")},
                {"td0", Td0Image(disk, true, 0, "made by the tests")}};
  for (const auto& image : images) {
    // floptool's decoder reads ahead of a compressed stream's end (without bytes there it does
    // not return): it is given some.
    Bytes padded = image.bytes;
    padded.resize(padded.size() + 64, 0);
    WriteFile(dir / "in", padded);
    const std::string command = std::string("timeout 60 floptool flopconvert ") + image.format +
                                " 2d " + dir / "in" + " " + dir / "out.2d" + " >/dev/null 2>&1";
    ASSERT_EQ(system(command.c_str()), 0) << command;
    EXPECT_EQ(ReadFile(dir / "out.2d"), raw) << image.format << " " << image.bytes[0];
    EXPECT_EQ(Opened(image.bytes).id.files, 2) << image.format << " " << image.bytes[0];
    EXPECT_EQ(Opened(padded).id.files, 2) << image.format << " " << image.bytes[0];
  }
}

// LZHUF: what the builder compresses (matches and literals, more than 32,768 symbols, so that the
// tree is rebuilt) decodes back; a decode stops at its room, saying there is more, and a stream
// of any bytes ends.
TEST(ContainerTest, LzhufStreamsDecodeToWhatWasCompressed) {
  Bytes data = PatternBytes(40000, 5);
  data.insert(data.end(), 3000, 'x');
  const Bytes text = PatternBytes(300, 6);
  for (int i = 0; i < 20; ++i) data.insert(data.end(), text.begin(), text.end());
  const Bytes packed = LzhufEncode(data);
  EXPECT_LT(packed.size(), data.size());
  Bytes out(data.size() + 100);
  bool more = true;
  EXPECT_EQ(LzhufDecode(packed.data(), packed.size(), out.data(), out.size(), more), data.size());
  EXPECT_FALSE(more);
  out.resize(data.size());
  EXPECT_EQ(out, data);
  EXPECT_EQ(LzhufDecode(packed.data(), packed.size(), out.data(), 1000, more), 1000u);
  EXPECT_TRUE(more);
  const Bytes noise = PatternBytes(5000, 7);
  Bytes room(1 << 20);
  EXPECT_LE(LzhufDecode(noise.data(), noise.size(), room.data(), room.size(), more), room.size());
}

// A TD0 image made version 1.5's LZW kind: "td", version 15h, its header's CRC again.
Bytes Td0Lzw(Bytes td0) {
  td0[0] = 't', td0[1] = 'd', td0[4] = 0x15;
  SetTd0HeaderCrc(td0);
  return td0;
}

// Cut files and headers that lie are said; every sector the map then holds is read (the
// sanitizers and valgrind catch a read past the image).
TEST(ContainerTest, CutAndLyingHeadersAreSaidAndNothingIsReadPastTheImage) {
  const DiskBuilder disk = MarkedDisk();
  const DiskShape shape = {77, 2, 8, 3};
  Fat12Image fat;
  const DiskBuilder dos = SectorsToDisk(fat.raw, shape);
  const auto cut = [](Bytes bytes, size_t keep) {
    bytes.resize(keep);
    return bytes;
  };
  Bytes lying_fdi = FdiImage(dos, shape);
  lying_fdi[0x1C] = 80;  // cylinders
  Bytes lying_r1 = NfdR1Image(disk);
  std::copy_n(&lying_r1[0x120 + 4 * 4], 4, &lying_r1[0x120 + 4 * 5]);  // track 4's block twice
  Bytes wrong_dim_type = DimImage(dos, 0x00, shape);
  wrong_dim_type[0] = 0x07;
  Bytes td0 = {'T', 'D', 0, 0x5D, 0x15, 0, 1, 0, 0, 2, 0, 0};
  SetTd0HeaderCrc(td0);
  const struct {
    const char* what;
    Bytes bytes;
    ContainerKind kind;
    const char* said;  // the start of NotRead() or Problem()
  } cases[] = {
      {"raw cut", cut(RawDump(dos, shape), 1261567), ContainerKind::kNone, "not a disk image"},
      {"fdi lying", lying_fdi, ContainerKind::kNone, "not a disk image"},
      {"dcp cut", cut(DcpImage(dos, 0x01, shape, 160), 100000), ContainerKind::kNone,
       "not a disk image"},
      {"dim cut", cut(DimImage(dos, 0x00, shape), 300000), ContainerKind::kDim,
       "the image ends 961824 bytes before its last stored track's end (118 tracks"},
      {"dim type", wrong_dim_type, ContainerKind::kNone, "a DIM image of media type 07h"},
      {"nfd r0 cut", cut(NfdR0Image(disk), 200000), ContainerKind::kNfd,
       "the image ends 889808 bytes before the data its header lists"},
      {"nfd r0 header", cut(NfdR0Image(disk), 4000), ContainerKind::kNone,
       "an NFD image whose header is cut short"},
      {"nfd r1 lying", lying_r1, ContainerKind::kNfd, "1 track block of its header overlap"},
      {"imd cut", cut(ImdImage(disk, true), 5000), ContainerKind::kImd,
       "the image ends inside track 0/1"},
      {"td0 header", td0, ContainerKind::kTd0,
       "the image ends before its end-of-tracks mark after 0 tracks"},
      {"fdd header", cut(FddImage(disk, "", true), 4000), ContainerKind::kNone,
       "an FDD image whose header is cut short"},
      {"fdd cut", cut(FddImage(disk, "", true), 200000), ContainerKind::kFdd,
       "3405 sectors whose data the table places past the image's end (cut)"},
      {"edsk cut", cut(DskImage(disk, true, 77, 2), 100000), ContainerKind::kEdsk,
       "the image ends 961376 bytes before its last track block's end (140 tracks cut or "
       "missing)"},
      {"td0 lzw", Td0Lzw(Td0Image(disk, false, 2, "")), ContainerKind::kNone,
       "a TD0 image of version 1.5 compressed with LZW, which is not read"},
      {"td0 cut", cut(Td0Image(disk, false, 2, ""), 20000), ContainerKind::kTd0,
       "a data block runs past the image's end after 3 tracks; the rest not read"},
      {"td0 advanced cut", cut(Td0Image(disk, true, 2, ""), 3000), ContainerKind::kTd0,
       "a data block runs past the image's end after 0 tracks"},
      {"edsk weak", DskImage(disk, true, 77, 2, 3), ContainerKind::kEdsk,
       "1 weak sector stored in several copies; the first of each read"},
      {"dsk sides",
       [&] {
         Bytes dsk = DskImage(disk, false, 77, 2);
         dsk[0x31] = 3;
         return dsk;
       }(),
       ContainerKind::kNone, "a DSK image of 77 tracks and 3 sides"},
  };
  for (const auto& c : cases) {
    const Opened opened(c.bytes);
    EXPECT_EQ(opened.image->Container(), c.kind) << c.what;
    const std::string said =
        opened.image->NotRead()[0] != '\0' ? opened.image->NotRead() : opened.image->Problem();
    EXPECT_EQ(said.rfind(c.said, 0), 0u) << c.what << ": " << said;
    int filler;
    opened.map->FillerSectors(filler);
  }
}

}  // namespace
