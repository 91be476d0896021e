// Unit tests of D88Image: the disk catalogue, disk selection and sector access, on images from
// the test-image builder, well-formed and corrupt.
#include "diskimage/d88_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "diskimage/disk_check.h"
#include "tests/d88_builder.h"
#include "tests/test_files.h"

using diskimage::CheckDisk;
using diskimage::D88Image;
using diskimage::DiskCheck;
using diskimage::ReadLe16;
using diskimage::ReadLe32;

namespace {

SectorRecord Sector(uint8_t c, uint8_t h, uint8_t r, uint8_t n, size_t size, uint8_t fill) {
  SectorRecord s;
  s.c = c;
  s.h = h;
  s.r = r;
  s.n = n;
  s.data.assign(size, fill);
  return s;
}

class D88ImageTest : public ::testing::Test {
 protected:
  // Writes `bytes` as the image file and opens it, or opens the bytes in memory.
  void OpenImage(const Bytes& bytes) {
    WriteFile(path(), bytes);
    memory = bytes;
    if (FromMemory()) {
      ASSERT_TRUE(image.OpenMemory(memory.data(), memory.size()));
    } else {
      ASSERT_TRUE(image.Open(path().c_str()));
    }
  }
  virtual bool FromMemory() const { return false; }
  std::string path() const { return dir / "image.d88"; }

  TempDir dir;
  Bytes memory;
  D88Image image;
};

// The same expectations for an image in a file and for the same bytes in memory.
class D88ImageSourceTest : public D88ImageTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool FromMemory() const override { return GetParam(); }
};
INSTANTIATE_TEST_SUITE_P(FileAndMemory, D88ImageSourceTest, ::testing::Bool());

TEST(ReadLeTest, AssemblesLittleEndianValues) {
  const unsigned char bytes[] = {0x34, 0x12, 0xff, 0xff, 0x00, 0x00, 0x00, 0x80};
  EXPECT_EQ(ReadLe16(bytes), 0x1234);
  EXPECT_EQ(ReadLe16(bytes + 2), 65535);
  EXPECT_EQ(ReadLe32(bytes), static_cast<int32_t>(0xffff1234u));
  EXPECT_EQ(ReadLe32(bytes + 4), INT32_MIN);
}

TEST_P(D88ImageSourceTest, FileShorterThanOneHeaderOpensWithNoDisks) {
  OpenImage(Bytes(687, 0));
  EXPECT_EQ(image.DiskCount(), 0);
  EXPECT_FALSE(image.SelectDisk(0));
}

TEST_P(D88ImageSourceTest, CataloguesDisksBackToBackAndIgnoresShortTrailingBytes) {
  Bytes file = Concatenate({DiskBuilder().Name("ONE").Build(), DiskBuilder().Name("TWO").Build()});
  file.resize(file.size() + 687, 0xAA);
  OpenImage(file);
  ASSERT_EQ(image.DiskCount(), 2);
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_STREQ(image.DiskName(), "TWO");
}

TEST_P(D88ImageSourceTest, CataloguesAtMostSixtyFourDisks) {
  std::vector<Bytes> disks(70, DiskBuilder().Name("D").Build());
  OpenImage(Concatenate(disks));
  EXPECT_EQ(image.DiskCount(), D88Image::kMaxDisks);
  EXPECT_TRUE(image.SelectDisk(63));
  EXPECT_FALSE(image.SelectDisk(64));
}

TEST_P(D88ImageSourceTest, DiskSizeZeroRepeatsTheSameDiskUpToTheLimit) {
  OpenImage(Concatenate({DiskBuilder().Name("FIRST").Build(),
                         DiskBuilder().Name("STUCK").DiskSize(0).Build(),
                         DiskBuilder().Name("NEVER").Build()}));
  ASSERT_EQ(image.DiskCount(), 64);
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_STREQ(image.DiskName(), "FIRST");
  for (int i : {1, 2, 63}) {
    ASSERT_TRUE(image.SelectDisk(i));
    EXPECT_STREQ(image.DiskName(), "STUCK");
  }
}

TEST_P(D88ImageSourceTest, HugeDiskSizeEndsTheCatalogueInsteadOfWrapping) {
  // 0xFFFFFD50 + 0x2B0 wraps to 0 in 32 bits, and 0x80000000 turns negative: neither may send the
  // catalogue back to an earlier offset.
  for (uint32_t size : {0xFFFFFD50u, 0x80000000u, 0x7FFFFFFFu}) {
    OpenImage(Concatenate(
        {DiskBuilder().Name("BIG").DiskSize(size).Build(), DiskBuilder().Name("NEXT").Build()}));
    EXPECT_EQ(image.DiskCount(), 1) << size;
  }
}

TEST_F(D88ImageTest, MissingFileDirectoryOrPipeFailsToOpen) {
  EXPECT_FALSE(image.Open((dir / "missing.d88").c_str()));
  EXPECT_EQ(image.DiskCount(), 0);
  EXPECT_FALSE(image.SelectDisk(0));
  EXPECT_FALSE(image.Open(dir.path().c_str()));
  EXPECT_FALSE(image.SelectDisk(0));
  // A pipe holding a whole disk cannot be catalogued by offset: refused, not read as empty.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const Bytes disk = DiskBuilder().Name("PIPED").Build();
  ASSERT_EQ(write(ends[1], disk.data(), disk.size()), static_cast<ssize_t>(disk.size()));
  EXPECT_FALSE(image.Open(("/proc/self/fd/" + std::to_string(ends[0])).c_str()));
  EXPECT_EQ(errno, ESPIPE);
  close(ends[0]);
  close(ends[1]);
}

TEST_P(D88ImageSourceTest, OpenNullClosesButKeepsTheSelectedName) {
  OpenImage(DiskBuilder().Name("KEEP").Media(0x20).Build());
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_EQ(image.MediaType(), 0x20);
  EXPECT_TRUE(image.Open(nullptr));
  EXPECT_EQ(image.DiskCount(), 0);
  EXPECT_EQ(image.MediaType(), -1);
  EXPECT_STREQ(image.DiskName(), "KEEP");
  EXPECT_FALSE(image.SelectDisk(0));
  EXPECT_STREQ(image.DiskName(), "KEEP");
}

TEST_P(D88ImageSourceTest, SelectingOutsideTheCatalogueClearsTheSelection) {
  OpenImage(DiskBuilder().Name("NAME").Media(7).Build());
  for (int index : {-1, 1}) {
    ASSERT_TRUE(image.SelectDisk(0));
    EXPECT_FALSE(image.SelectDisk(index));
    EXPECT_STREQ(image.DiskName(), "");
    EXPECT_EQ(image.MediaType(), -1);
  }
}

TEST_P(D88ImageSourceTest, DiskNameIsSixteenBytesAtMostAndEndsAtTheFirstNul) {
  OpenImage(Concatenate({DiskBuilder().Name("0123456789ABCDEFG").Build(),
                         DiskBuilder().Name(std::string("ABC\0XYZ", 7)).Build()}));
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_STREQ(image.DiskName(), "0123456789ABCDEF");
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_STREQ(image.DiskName(), "ABC");
}

TEST_F(D88ImageTest, HeaderThatReadsShortAfterOpenLeavesZeros) {
  // Disk A is larger than any read buffer, so disk B's header is read from the file again.
  const Bytes a = DiskBuilder()
                      .Name("A")
                      .AddSector(0, Sector(0, 0, 1, 1, 65535, 0))
                      .AddSector(0, Sector(0, 0, 2, 1, 65535, 0))
                      .Build();
  OpenImage(Concatenate(
      {a, DiskBuilder().Name("B").Media(9).AddSector(3, Sector(1, 1, 1, 1, 256, 5)).Build()}));
  ASSERT_EQ(image.DiskCount(), 2);
  ASSERT_EQ(truncate(path().c_str(), a.size() + 0x20), 0);  // B's header keeps only 0x20 bytes
  ASSERT_TRUE(image.SelectDisk(0));  // moves the read buffer away from B's header
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_STREQ(image.DiskName(), "B");
  EXPECT_EQ(image.MediaType(), 9);  // within the bytes that remain
  unsigned char buf[256];
  EXPECT_EQ(image.ReadSector(3, 1, 1, 1, 1, buf, 256), 0);
}

TEST_P(D88ImageSourceTest, ReadSectorFindsSectorsByFullIdInAnyOrder) {
  DiskBuilder disk;
  disk.AddSector(5, Sector(2, 1, 3, 1, 256, 0x33))
      .AddSector(5, Sector(2, 1, 0xC1, 1, 256, 0xC1))
      .AddSector(5, Sector(2, 1, 1, 1, 256, 0x11));
  OpenImage(disk.Build());
  ASSERT_TRUE(image.SelectDisk(0));
  unsigned char buf[300] = {};
  EXPECT_EQ(image.ReadSector(5, 2, 1, 1, 1, buf, 300), 256);
  EXPECT_EQ(buf[0], 0x11);
  EXPECT_EQ(image.ReadSector(5, 2, 1, 193, 1, buf, 300), 256);
  EXPECT_EQ(buf[255], 0xC1);
  EXPECT_EQ(image.ReadSector(5, 2, 1, 3, 1, buf, 100), 100);  // capped at max_len
  EXPECT_EQ(image.ReadSector(5, 2, 1, 3, 2, buf, 300), 0);    // same C H R, other N
  EXPECT_EQ(image.ReadSector(5, 2, 1, 2, 1, buf, 300), 0);    // passes the last sector
  EXPECT_EQ(image.ReadSector(5, 2, 1, 1, 1, buf, 0), 0);
  EXPECT_EQ(image.ReadSector(4, 2, 0, 1, 1, buf, 300), 0);  // absent track
  EXPECT_EQ(image.ReadSector(164, 2, 1, 1, 1, buf, 300), 0);
  EXPECT_EQ(image.ReadSector(-1, 2, 1, 1, 1, buf, 300), 0);
}

TEST_P(D88ImageSourceTest, SectorCountZeroEndsTheSearchBeforeTheIdIsCompared) {
  SectorRecord s = Sector(0, 0, 1, 1, 256, 1);
  s.sector_count = 0;
  OpenImage(DiskBuilder().AddSector(0, s).Build());
  ASSERT_TRUE(image.SelectDisk(0));
  unsigned char buf[256];
  EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 1, buf, 256), 0);
  unsigned char ids[8];
  EXPECT_EQ(image.ReadTrackIds(0, ids, 8), 4);  // the listing is not ended by a count of 0
}

TEST_P(D88ImageSourceTest, DisagreeingSectorCountsReadOnIntoTheNextTrack) {
  SectorRecord first = Sector(0, 0, 1, 1, 256, 1);
  first.sector_count = 9;  // says nine sectors, but the track holds one
  OpenImage(DiskBuilder().AddSector(0, first).AddSector(1, Sector(0, 1, 7, 1, 256, 7)).Build());
  ASSERT_TRUE(image.SelectDisk(0));
  unsigned char buf[256];
  EXPECT_EQ(image.ReadSector(0, 0, 1, 7, 1, buf, 256), 256);  // track 1's sector, seen from 0
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(image.ReadSector(0, 0, 0, 9, 1, buf, 256), 0);  // runs to the end of the file
}

TEST_P(D88ImageSourceTest, TrackOffsetsOutsideTheDiskCountAsAbsent) {
  const Bytes good = DiskBuilder().AddSector(0, Sector(0, 0, 1, 1, 256, 1)).Build();
  for (uint32_t offset : {uint32_t(good.size() + 1), 0x80000000u, 0xFFFFFFF0u}) {
    OpenImage(Concatenate(
        {good,
         DiskBuilder().AddSector(0, Sector(0, 0, 1, 1, 256, 2)).TrackOffset(0, offset).Build()}));
    ASSERT_TRUE(image.SelectDisk(1));
    unsigned char buf[256];
    EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 1, buf, 256), 0) << offset;
    EXPECT_EQ(image.ReadTrackIds(0, buf, 4), 0) << offset;
  }
}

TEST_P(D88ImageSourceTest, FailedSelectionMakesEveryTrackUnreadable) {
  OpenImage(DiskBuilder().AddSector(0, Sector(0, 0, 1, 1, 256, 1)).Build());
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_FALSE(image.SelectDisk(5));
  unsigned char buf[256];
  EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 1, buf, 256), 0);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 1, buf, 256), 0);
}

TEST_P(D88ImageSourceTest, FileEndingInsideSectorDataGivesTheBytesThatExist) {
  Bytes file = DiskBuilder().AddSector(0, Sector(0, 0, 1, 1, 256, 0x5A)).Build();
  file.resize(file.size() - 56);
  OpenImage(file);
  ASSERT_TRUE(image.SelectDisk(0));
  unsigned char buf[256] = {};
  EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 1, buf, 256), 200);
  EXPECT_EQ(buf[199], 0x5A);
  EXPECT_EQ(buf[200], 0);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 1, buf, 256), 0);
}

class ReadSectorsTest : public D88ImageSourceTest {
 protected:
  // Tracks 1 to 3 of five 1024-byte sectors; each sector is filled with 16 * track + r.
  void SetUp() override {
    DiskBuilder disk;
    for (int track = 1; track <= 3; ++track) {
      for (int r = 1; r <= 5; ++r) {
        disk.AddSector(track, Sector(track / 2, track % 2, r, 3, 1024, 16 * track + r));
      }
    }
    OpenImage(disk.Build());
    ASSERT_TRUE(image.SelectDisk(0));
    image.SetSectorRange(1, 5);
  }
  unsigned char buf[3 * 5120] = {};
};
INSTANTIATE_TEST_SUITE_P(FileAndMemory, ReadSectorsTest, ::testing::Bool());

TEST_P(ReadSectorsTest, ReadsConsecutiveSectorsAndShortensOnlyTheLastPiece) {
  EXPECT_EQ(image.ReadSectors(1, 0, 1, 1, 3, buf, 2048), 2048);
  EXPECT_EQ(buf[1023], 0x11);
  EXPECT_EQ(buf[1024], 0x12);
  EXPECT_EQ(buf[2048], 0);
  memset(buf, 0, sizeof buf);
  EXPECT_EQ(image.ReadSectors(1, 0, 1, 1, 3, buf, 1500), 1500);
  EXPECT_EQ(buf[1499], 0x12);
  EXPECT_EQ(buf[1500], 0);
  EXPECT_EQ(image.ReadSectors(1, 0, 1, 1, 3, buf, 0), 0);
}

TEST_P(ReadSectorsTest, StepsFromTrackToTrackThroughTheSectorRange) {
  // From track 1 (C0 H1) sector 5 to track 2 (C1 H0) sector 1, then on to track 3 (C1 H1).
  EXPECT_EQ(image.ReadSectors(1, 0, 1, 5, 3, buf, 7 * 1024), 7 * 1024);
  EXPECT_EQ(buf[0], 0x15);
  EXPECT_EQ(buf[1024], 0x21);
  EXPECT_EQ(buf[5 * 1024], 0x25);
  EXPECT_EQ(buf[6 * 1024], 0x31);
  // Track 4 does not exist: the run stops after the last sector of track 3.
  EXPECT_EQ(image.ReadSectors(3, 1, 1, 4, 3, buf, 4 * 1024), 2 * 1024);
}

TEST_P(ReadSectorsTest, MissingOrShortSectorEndsTheRun) {
  image.SetSectorRange(1, 9);  // sector 6 of track 1 does not exist
  EXPECT_EQ(image.ReadSectors(1, 0, 1, 5, 3, buf, 2048), 1024);
  EXPECT_EQ(image.ReadSectors(1, 0, 1, 1, 2, buf, 1024), 0);  // size code 2 is not stored

  DiskBuilder disk;
  disk.AddSector(0, Sector(0, 0, 1, 3, 1024, 1)).AddSector(0, Sector(0, 0, 2, 3, 100, 2));
  OpenImage(disk.Build());
  ASSERT_TRUE(image.SelectDisk(0));
  memset(buf, 0, sizeof buf);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 3, buf, 2048), 1024);
  EXPECT_EQ(buf[1024 + 99], 2);  // the short sector's bytes are copied, not counted
  EXPECT_EQ(buf[1024 + 100], 0);
}

TEST_P(ReadSectorsTest, OddSizeCodesAndRangesStayDefined) {
  EXPECT_EQ(image.ReadSectors(1, 0, 1, 1, 255, buf, 100), 0);
  EXPECT_EQ(image.ReadSectors(1, 0, 1, 1, -1, buf, 100), 0);
  EXPECT_EQ(image.ReadSectors(1, 0, 1, 1, 3, buf, -5), 0);
  image.SetSectorRange(INT32_MAX, INT32_MAX);
  EXPECT_EQ(image.ReadSectors(1, 0, 1, INT32_MAX, 3, buf, 2048), 0);
}

TEST_P(ReadSectorsTest, ViewSectorsFindsInMemoryWhatReadSectorsCopies) {
  // Each request read both ways: the same count, and the spans laid end to end are the bytes.
  const auto expect_same = [&](int track, int c, int h, int r, int n, int len) {
    Bytes copied(3 * 5120), viewed(3 * 5120);
    const int count = image.ReadSectors(track, c, h, r, n, copied.data(), len);
    diskimage::ImageSpan spans[16];
    int span_count = -1;
    EXPECT_EQ(image.InMemory(), FromMemory());
    const int view = image.ViewSectors(track, c, h, r, n, len, spans, 16, span_count);
    if (!FromMemory()) {
      EXPECT_EQ(view, -1);
      EXPECT_EQ(span_count, 0);
      return;
    }
    EXPECT_EQ(view, count) << track << " " << r << " " << len;
    size_t at = 0;
    for (int i = 0; i < span_count; ++i) {
      ASSERT_LE(at + spans[i].size, viewed.size());
      memcpy(viewed.data() + at, spans[i].bytes, spans[i].size);
      at += spans[i].size;
    }
    EXPECT_EQ(viewed, copied) << track << " " << r << " " << len;
  };
  expect_same(1, 0, 1, 5, 3, 7 * 1024);  // across tracks
  expect_same(1, 0, 1, 1, 3, 1500);      // a part of the last sector
  expect_same(3, 1, 1, 4, 3, 4 * 1024);  // runs out of tracks
  expect_same(1, 0, 1, 1, 2, 1024);      // no such size code
  if (FromMemory()) {  // out of spans: the request ends as if the next sector were missing
    diskimage::ImageSpan spans[2];
    int span_count = 0;
    EXPECT_EQ(image.ViewSectors(1, 0, 1, 1, 3, 5 * 1024, spans, 2, span_count), 2048);
    EXPECT_EQ(span_count, 2);
  }

  DiskBuilder disk;  // a short sector, then a sector the file ends inside
  disk.AddSector(0, Sector(0, 0, 1, 3, 1024, 1)).AddSector(0, Sector(0, 0, 2, 3, 100, 2));
  disk.AddSector(1, Sector(0, 1, 1, 3, 1024, 3));
  Bytes file = disk.Build();
  file.resize(file.size() - 24);
  OpenImage(file);
  ASSERT_TRUE(image.SelectDisk(0));
  expect_same(0, 0, 0, 1, 3, 2048);
  expect_same(1, 0, 1, 1, 3, 1024);
}

TEST_P(ReadSectorsTest, TrackIdsAreListedInStoredOrderUpToTheLimit) {
  unsigned char ids[40] = {};
  EXPECT_EQ(image.ReadTrackIds(2, ids, 20), 20);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 0);
  EXPECT_EQ(ids[2], 1);
  EXPECT_EQ(ids[3], 3);
  EXPECT_EQ(ids[18], 5);
  EXPECT_EQ(image.ReadTrackIds(2, ids, 12), 12);
  EXPECT_EQ(image.ReadTrackIds(2, ids, 40), 20);  // five sectors on the track
  EXPECT_EQ(image.ReadTrackIds(9, ids, 20), 0);
  memset(ids, 0xEE, sizeof ids);
  EXPECT_EQ(image.ReadTrackIds(2, ids, 6), 4);  // only whole records fit
  EXPECT_EQ(ids[4], 0xEE);
}

// Headers crafted so that no sector count ever ends a walk, with every wanted sector behind a
// long stretch: each header is read about once however many tracks and disks run into it.
TEST_P(D88ImageSourceTest, LongWalksReadEveryHeaderAboutOnce) {
  constexpr size_t kStretch = 20000;
  const Bytes one_disk = LongWalkDisk(4, 10, 2, kStretch);
  OpenImage(one_disk);
  ASSERT_TRUE(image.SelectDisk(0));
  image.SetSectorRange(1, 10);
  static unsigned char track[5120];
  for (int t = 4; t < 80; ++t) {
    ASSERT_EQ(image.ReadSectors(t, t / 2, t % 2, 1, 2, track, 5120), 5120) << t;
    ASSERT_EQ(track[5119], t);
  }
  EXPECT_LT(image.SectorHeadersRead(), static_cast<int64_t>(one_disk.size() / 16 + 1000));

  // 63 disks whose tracks jump past their own end into the stretch of the 64th: a header past a
  // disk's end is not that disk's, so they find nothing.
  const Bytes many_disks = LongWalkDisks(2, 5, 3, kStretch);
  OpenImage(many_disks);
  ASSERT_EQ(image.DiskCount(), 64);
  unsigned char ids[20];
  for (int disk = 0; disk < 64; ++disk) {
    ASSERT_TRUE(image.SelectDisk(disk));
    for (int t = 2; t < 80; ++t) {
      image.ReadTrackIds(t, ids, sizeof ids);
      image.SetSectorRange(1, 5);
      EXPECT_EQ(image.ReadSectors(t, t / 2, t % 2, 1, 3, track, 5120), disk == 63 ? 5120 : 0);
    }
  }
  EXPECT_LT(image.SectorHeadersRead(), static_cast<int64_t>(many_disks.size() / 16 + 64 * 1000));
}

TEST_P(D88ImageSourceTest, HeadersPastTheDisksEndBelongToTheNextDisk) {
  SectorRecord says_nine = Sector(0, 0, 1, 1, 256, 1);
  says_nine.sector_count = 9;  // the walk would go on into the next disk's bytes
  const Bytes first = DiskBuilder().AddSector(0, says_nine).Build();
  const Bytes second = DiskBuilder().AddSector(0, Sector(0, 0, 2, 1, 256, 2)).Build();
  OpenImage(Concatenate({first, second}));
  ASSERT_TRUE(image.SelectDisk(0));
  unsigned char buf[256];
  EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 1, buf, 256), 256);
  // The second disk's header and its sector header lie past the first disk's end.
  EXPECT_EQ(image.ReadSector(0, 0, 0, 2, 1, buf, 256), 0);
  unsigned char ids[12];
  EXPECT_EQ(image.ReadTrackIds(0, ids, sizeof ids), 4);
}

TEST_P(D88ImageSourceTest, DisksBeyondTheSixtyFourthAreNoticed) {
  OpenImage(Concatenate(std::vector<Bytes>(64, DiskBuilder().Build())));
  EXPECT_FALSE(image.MoreDisksThanCatalogued());
  OpenImage(Concatenate(std::vector<Bytes>(65, DiskBuilder().Build())));
  EXPECT_TRUE(image.MoreDisksThanCatalogued());
  OpenImage(DiskBuilder().DiskSize(0).Build());  // one disk catalogued 64 times
  EXPECT_FALSE(image.MoreDisksThanCatalogued());
}

DiskCheck CheckFirstDisk(D88Image& image, const Bytes& bytes) {
  image.OpenMemory(bytes.data(), bytes.size());
  image.SelectDisk(0);
  DiskCheck check;
  CheckDisk(image, check);
  return check;
}

// What real files hold passes (a header that ends early, table entries past the size field);
// what no D88 writer makes does not, with the reason; a cut image says what it lacks.
TEST_F(D88ImageTest, DiskCheckTellsD88HeadersFromOtherBytesAndCutImages) {
  const Bytes good = DiskBuilder()
                         .AddSector(0, Sector(0, 0, 1, 1, 256, 1))
                         .AddSector(1, Sector(0, 1, 1, 1, 256, 2))
                         .Build();
  DiskCheck check = CheckFirstDisk(image, good);
  EXPECT_TRUE(check.d88);
  EXPECT_EQ(check.lacking_bytes, 0);

  Bytes stray = good;  // entry 163 points past the size field, as on two real FM-77AV files
  const uint32_t past = static_cast<uint32_t>(good.size() + 4096);
  memcpy(&stray[0x20 + 4 * 163], &past, 4);
  EXPECT_TRUE(CheckFirstDisk(image, stray).d88);

  Bytes short_header = good;  // the first track at 0x288: entries from there on are its bytes
  const uint32_t early = 0x288;
  memcpy(&short_header[0x20], &early, 4);
  EXPECT_TRUE(CheckFirstDisk(image, short_header).d88);

  Bytes media = good;
  media[0x1B] = 0x9C;
  check = CheckFirstDisk(image, media);
  EXPECT_FALSE(check.d88);
  EXPECT_STREQ(check.reason, "its media byte is 9Ch, none of 00h, 10h, 20h, 30h, 40h");

  Bytes inside = good;  // a track that would begin inside the header
  const uint32_t header_byte = 0x100;
  memcpy(&inside[0x20], &header_byte, 4);
  EXPECT_FALSE(CheckFirstDisk(image, inside).d88);

  const Bytes cut(good.begin(), good.end() - 300);  // the second track lost
  check = CheckFirstDisk(image, cut);
  EXPECT_TRUE(check.d88);
  EXPECT_EQ(check.lacking_bytes, 300);
  EXPECT_EQ(check.missing_tracks, 1);
}

}  // namespace
