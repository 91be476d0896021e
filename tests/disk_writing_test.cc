// Unit tests of writing disks: every variant a file-system driver formats is named as its system
// by identification, holds no file, and, for the FAT systems, has the free space mtools finds;
// where a real formatted disk is known, the new disk is its bytes. Files and folders added to each
// system read back as they were given, by this library and, for FAT and CP/M, by mtools and
// cpmtools; what does not fit is refused with nothing written.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "diskimage/containers/sector_table.h"
#include "diskimage/d88_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/file_systems/file_system_driver.h"
#include "diskimage/identify.h"
#include "diskimage/names.h"
#include "tests/real_disks.h"
#include "tests/test_files.h"

namespace {

using namespace diskimage;

// The free bytes `mdir` gives for the raw dump at `path`, or -1 when it does not read it.
int64_t MtoolsFreeBytes(const std::string& path) {
  const std::string command =
      "MTOOLS_SKIP_CHECK=1 mdir -i " + path + " :: | tr -d ' ' | sed -n 's/bytesfree$//p'";
  FILE* mdir = popen(command.c_str(), "r");
  long long free_bytes = -1;
  if (mdir != nullptr && fscanf(mdir, "%lld", &free_bytes) != 1) free_bytes = -1;
  if (mdir != nullptr) pclose(mdir);
  return free_bytes;
}

TEST(FormatTest, EveryVariantIsAnEmptyDiskOfItsSystemAsMtoolsAgrees) {
  const bool mtools = system("command -v mdir >/dev/null") == 0;
  TempDir dir;
  int formatted = 0;
  for (int d = 0; const FileSystemDriver* driver = NthFileSystemDriver(d); ++d) {
    if (driver->format_variant == nullptr) continue;
    for (int v = 0; const FormatVariant* variant = driver->format_variant(v); ++v) {
      const std::string name = std::string(driver->name) + ":" + variant->name;
      EXPECT_EQ(FindFormatVariant(driver->kind, name.c_str() + name.find(':') + 1), v);
      Bytes disk(static_cast<size_t>(variant->grid.DiskBytes()), 0x5A);
      driver->format(v, disk.data());
      auto table = std::make_unique<SectorTable>();
      table->Reset(disk.data(), disk.size());
      int64_t offset = 0;
      for (int k = 0; k < variant->grid.cylinders * variant->grid.heads; ++k) {
        offset = AddGridTrack(*table, variant->grid, k, offset, disk.size());
      }
      auto map = std::make_unique<DiskMap>();
      map->Load(*table);
      auto fs = std::make_unique<FileSystem>();
      Identification id;
      Identify(*map, *fs, id);
      ++formatted;
      if (driver->evidence == FileSystemDriver::Evidence::kFiles) {
        // Every formatter's empty disk: unformatted to identification, its system's to a mount.
        EXPECT_EQ(id.kind, FileSystemKind::kUnformatted) << name;
        EXPECT_TRUE(fs->Mount(*map, driver->kind)) << name;
        EXPECT_GT(fs->FreeClusters(), 0) << name;
        continue;
      }
      EXPECT_EQ(id.kind, driver->kind) << name << ": " << id.evidence;
      EXPECT_EQ(id.files, 0) << name;
      EXPECT_EQ(id.bytes_used, 0) << name;
      EXPECT_EQ(id.damaged, 0) << name;
      EXPECT_GT(id.bytes_free, 0) << name;
      if (mtools &&
          (driver->kind == FileSystemKind::kFat12 || driver->kind == FileSystemKind::kHuman68k)) {
        WriteFile(dir / "disk", disk);
        EXPECT_EQ(MtoolsFreeBytes(dir / "disk"), id.bytes_free) << name;
      }
    }
  }
  EXPECT_GE(formatted, 5);
  EXPECT_EQ(FindFormatVariant(FileSystemKind::kFat12, "PC98-2HD"), 0);
  EXPECT_EQ(FindFormatVariant(FileSystemKind::kFat12, "pc98-2h"), -1);
  EXPECT_EQ(FindFormatVariant(FileSystemKind::kDskcut, "2hd"), -1);
}

// The first disk of the real image at `path` as a grid's bytes, in its order (every sector of
// the grid present, of its size).
Bytes RealDiskBytes(const std::string& path, const SectorGrid& grid) {
  const Bytes real = ReadFile(path);
  auto image = std::make_unique<D88Image>();
  EXPECT_TRUE(image->OpenMemory(real.data(), real.size()));
  image->SelectDisk(0);
  auto map = std::make_unique<DiskMap>();
  map->Load(*image);
  const int size = 128 << grid.size_code;
  Bytes bytes;
  for (int track = 0; track < grid.cylinders * grid.heads; ++track) {
    EXPECT_EQ(map->SectorCount(track), grid.sectors) << "track " << track;
    for (int r = 1; r <= grid.sectors; ++r) {
      const SectorHeader* sector = map->Find(track, r);
      Bytes data(static_cast<size_t>(size));
      EXPECT_TRUE(sector != nullptr && map->Read(*sector, data.data(), size) == size)
          << "track " << track << " sector " << r;
      bytes.insert(bytes.end(), data.begin(), data.end());
    }
  }
  return bytes;
}

// A new disk of `kind`'s `variant`.
Bytes Formatted(FileSystemKind kind, const char* variant, SectorGrid& grid) {
  const FileSystemDriver* driver = FindFileSystemDriver(kind);
  const int v = FindFormatVariant(kind, variant);
  EXPECT_GE(v, 0);
  grid = driver->format_variant(v)->grid;
  Bytes disk(static_cast<size_t>(grid.DiskBytes()));
  driver->format(v, disk.data());
  return disk;
}

// Where two disks differ: "" or the first differing 256-byte sector and byte.
std::string FirstDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size())
    return "sizes " + std::to_string(a.size()) + ", " + std::to_string(b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i])
      return "logical sector " + std::to_string(i / 256) + " byte " + std::to_string(i % 256);
  }
  return "";
}

// A real N88-BASIC(86) 2DD disk, formatted and never written: the filler, the system track's
// directory, ID sector and tables are what the format writes, every byte.
TEST(FormatTest, N88Basic2ddIsTheRealFormattedDisk) {
  REAL_DISK_OR_SKIP(path, "blank_n88basic86_2DD.d88");
  SectorGrid grid;
  const Bytes disk = Formatted(FileSystemKind::kN88Basic, "2dd", grid);
  EXPECT_EQ(FirstDifference(disk, RealDiskBytes(path, grid)), "");
}

// A real Hu-BASIC 2D disk, formatted and then given two files of one cluster each: the rest is
// what the format writes, every byte.
TEST(FormatTest, HuBasic2dIsTheRealFormattedDiskBesidesItsTwoFiles) {
  REAL_DISK_OR_SKIP(path, "HuBASIC_Format_2D.d88");
  SectorGrid grid;
  Bytes disk = Formatted(FileSystemKind::kHuBasic, "2d", grid);
  const Bytes real = RealDiskBytes(path, grid);
  ASSERT_EQ(real.size(), disk.size());
  // What saving the files wrote: their table entries (clusters 2 and 3), their directory
  // entries, their clusters' sectors (logical 32-63).
  const auto take = [&](size_t from, size_t count) {
    std::copy(real.begin() + from, real.begin() + from + count, disk.begin() + from);
  };
  take(14 * 256 + 2, 2);
  take(16 * 256, 64);
  take(32 * 256, 32 * 256);
  EXPECT_EQ(FirstDifference(disk, real), "");
}

// A real F-BASIC disk that holds files and boot code: its ID sector and the table's bytes besides
// the clusters' entries are what the format writes.
TEST(FormatTest, FBasic2dHasTheRealDisksIdSectorAndTableHead) {
  REAL_DISK_OR_SKIP(path, "2019FM77AVDemo.d77");
  SectorGrid grid;
  const Bytes disk = Formatted(FileSystemKind::kFBasic, "2d", grid);
  const Bytes real = RealDiskBytes(path, grid);
  ASSERT_EQ(real.size(), disk.size());
  const auto range = [](const Bytes& bytes, size_t from, size_t count) {
    return Bytes(bytes.begin() + from, bytes.begin() + from + count);
  };
  EXPECT_EQ(range(disk, 2 * 256, 256), range(real, 2 * 256, 256));  // the ID sector
  const size_t table = 32 * 256;
  EXPECT_EQ(range(disk, table, 5), range(real, table, 5));
  EXPECT_EQ(range(disk, table + 5 + 152, 256 - 5 - 152),
            range(real, table + 5 + 152, 256 - 5 - 152));
}

// The files of a mounted tree, by path.
void ReadTree(FileSystem& fs, DirectoryCursor& cursor, const std::string& path,
              std::map<std::string, Bytes>& files) {
  DirectoryEntry e;
  while (fs.NextEntry(cursor, e)) {
    const std::string name = path + std::string(reinterpret_cast<char*>(e.name), e.name_length);
    if (e.directory) {
      auto below = std::make_unique<DirectoryCursor>();
      fs.Subdirectory(e, *below);
      ReadTree(fs, *below, name + "/", files);
      EXPECT_FALSE(below->damage.Any()) << name;
      continue;
    }
    Bytes bytes(1 << 20);
    ChainDamage damage;
    bytes.resize(static_cast<size_t>(fs.ReadFile(e, bytes.data(), bytes.size(), damage)));
    EXPECT_FALSE(damage.Any()) << name;
    files[name] = bytes;
  }
}

// A new disk in memory, mounted as its file system, to add entries to.
struct NewDisk {
  NewDisk(FileSystemKind kind, const char* variant) {
    disk = Formatted(kind, variant, grid);
    table->Reset(disk.data(), disk.size());
    int64_t offset = 0;
    for (int k = 0; k < grid.cylinders * grid.heads; ++k) {
      offset = AddGridTrack(*table, grid, k, offset, disk.size());
    }
    map->Load(*table);
    EXPECT_TRUE(fs->Mount(*map, kind));
  }
  // Adds an entry whose name field is `stored`, as the directory stores it.
  bool Add(const DirectoryEntry* folder, const std::string& stored, const Bytes& data,
           bool directory, DirectoryEntry& added, AddRefusal& refusal, int attributes = 0x20,
           bool ascii = false) {
    NewEntry entry = {};
    memcpy(entry.name, stored.data(), std::min(stored.size(), sizeof entry.name));
    entry.directory = directory;
    entry.attributes = attributes;
    entry.ascii = ascii;
    entry.data = data.data();
    entry.size = static_cast<int64_t>(data.size());
    entry.has_date = true;
    entry.date = {1999, 12, 31, 23, 58, 30};
    return fs->AddEntry(disk.data(), disk.size(), folder, entry, added, refusal);
  }
  // Every file of its tree, by path, as this library reads it.
  std::map<std::string, Bytes> Tree() {
    auto root = std::make_unique<DirectoryCursor>();
    fs->Root(*root);
    std::map<std::string, Bytes> files;
    ReadTree(*fs, *root, "", files);
    return files;
  }
  Identification Identified() {
    Identification id;
    auto other = std::make_unique<FileSystem>();
    Identify(*map, *other, id);
    return id;
  }
  SectorGrid grid;
  Bytes disk;
  std::unique_ptr<SectorTable> table = std::make_unique<SectorTable>();
  std::unique_ptr<DiskMap> map = std::make_unique<DiskMap>();
  std::unique_ptr<FileSystem> fs = std::make_unique<FileSystem>();
};

// A FAT short name ("F1.DAT") as its entry stores it ("F1      DAT").
std::string Fat83(const std::string& name) {
  const size_t dot = name.find('.');
  std::string stored = name.substr(0, dot);
  stored.resize(8, ' ');
  stored += dot == std::string::npos ? "" : name.substr(dot + 1);
  stored.resize(11, ' ');
  return stored;
}

TEST(DiskWritingTest, FilesAndFoldersAddedToAFatDiskReadBackAsMtoolsReadsThem) {
  const bool mtools = system("command -v mcopy >/dev/null") == 0;
  for (const char* variant : {"pc98-2hd", "2dd"}) {
    NewDisk disk(FileSystemKind::kFat12, variant);
    std::map<std::string, Bytes> expected;
    DirectoryEntry added, folder;
    AddRefusal refusal;
    const auto add = [&](const DirectoryEntry* in, const std::string& name, size_t size) {
      Bytes data(size);
      for (size_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>(i * 7 + name.size());
      ASSERT_TRUE(disk.Add(in, Fat83(name), data, false, added, refusal)) << name;
      EXPECT_EQ(std::string(reinterpret_cast<char*>(added.name), added.name_length), name);
      expected[(in == nullptr ? "" : "DIR/") + name] = data;
    };
    add(nullptr, "EMPTY.TXT", 0);
    add(nullptr, "BIG.BIN", 5000);
    ASSERT_TRUE(disk.Add(nullptr, Fat83("DIR"), {}, true, folder, refusal));
    EXPECT_TRUE(folder.directory);
    // More than one cluster of entries: the folder grows.
    for (int i = 0; i < 40; ++i) add(&folder, "F" + std::to_string(i) + ".DAT", 100 + 37 * i);
    add(nullptr, "LAST", 1024);

    auto root = std::make_unique<DirectoryCursor>();
    disk.fs->Root(*root);
    std::map<std::string, Bytes> files;
    ReadTree(*disk.fs, *root, "", files);
    EXPECT_EQ(files, expected) << variant;

    if (!mtools) continue;
    TempDir dir;
    WriteFile(dir / "disk", disk.disk);
    const std::string copy = "MTOOLS_SKIP_CHECK=1 mcopy -s -m -i " + (dir / "disk") + " '::*' " +
                             dir.path() + "/out >/dev/null 2>&1";
    ASSERT_EQ(system(("mkdir " + dir.path() + "/out && " + copy).c_str()), 0);
    for (const auto& [path, bytes] : expected) {
      EXPECT_EQ(ReadFile(dir.path() + "/out/" + path), bytes) << variant << " " << path;
    }
    Identification id;
    auto fs = std::make_unique<FileSystem>();
    Identify(*disk.map, *fs, id);
    EXPECT_EQ(MtoolsFreeBytes(dir / "disk"), id.bytes_free) << variant;
  }
}

TEST(DiskWritingTest, WhatDoesNotFitIsRefusedWithNothingWritten) {
  NewDisk disk(FileSystemKind::kFat12, "pc98-2hd");
  DirectoryEntry added;
  AddRefusal refusal;
  // The root holds 192 entries.
  for (int i = 0; i < 192; ++i) {
    ASSERT_TRUE(disk.Add(nullptr, Fat83("E" + std::to_string(i)), {}, false, added, refusal)) << i;
  }
  Bytes before = disk.disk;
  EXPECT_FALSE(disk.Add(nullptr, Fat83("ONE.MOR"), {}, false, added, refusal));
  EXPECT_EQ(refusal.reason, AddRefusal::kDirectoryFull);
  EXPECT_TRUE(disk.disk == before);

  NewDisk other(FileSystemKind::kFat12, "pc98-2hd");
  const int64_t free_bytes = 1221 * 1024;  // 1232 sectors less the boot, FATs and root: clusters
  Bytes big(static_cast<size_t>(free_bytes) + 1);
  before = other.disk;
  EXPECT_FALSE(other.Add(nullptr, Fat83("BIG.BIN"), big, false, added, refusal));
  EXPECT_EQ(refusal.reason, AddRefusal::kNoRoom);
  EXPECT_EQ(refusal.bytes_free, free_bytes);
  EXPECT_EQ(refusal.bytes_needed, free_bytes + 1024);
  EXPECT_TRUE(other.disk == before);
  big.pop_back();
  EXPECT_TRUE(other.Add(nullptr, Fat83("BIG.BIN"), big, false, added, refusal));
}

// N88-BASIC stores no size: a binary file reads back as its sectors, an ASCII one up to its 1Ah.
TEST(DiskWritingTest, FilesAddedToAnN88BasicDiskReadBackAsItsSectors) {
  for (const char* variant : {"2d", "2dd", "2hd"}) {
    NewDisk disk(FileSystemKind::kN88Basic, variant);
    std::map<std::string, Bytes> expected;
    DirectoryEntry added;
    AddRefusal refusal;
    for (int i = 0; i < 30; ++i) {
      Bytes data(static_cast<size_t>(13 * i * i));
      for (size_t b = 0; b < data.size(); ++b) data[b] = static_cast<unsigned char>(b + i);
      const std::string name = "F" + std::to_string(i);
      std::string stored = name;
      stored.resize(6, ' ');
      ASSERT_TRUE(disk.Add(nullptr, stored + "BIN", data, false, added, refusal, 0x01))
          << variant << " " << i << " refusal " << refusal.reason;
      data.resize((std::max<size_t>(data.size(), 1) + 255) / 256 * 256);
      expected[name + ".BIN"] = data;
    }
    const std::string text = "10 PRINT\r\n\x1a";
    ASSERT_TRUE(disk.Add(nullptr, "TEXT  ASC", Bytes(text.begin(), text.end()), false, added,
                         refusal, 0x00));
    expected["TEXT.ASC"] = Bytes(text.begin(), text.end() - 1);
    EXPECT_EQ(disk.Tree(), expected) << variant;
    const Identification id = disk.Identified();
    EXPECT_EQ(id.kind, FileSystemKind::kN88Basic) << variant;
    EXPECT_EQ(id.files, 31) << variant;
  }
}

// Hu-BASIC records sizes and has folders of one cluster: every file reads back as it was given.
TEST(DiskWritingTest, FilesAndFoldersAddedToAHuBasicDiskReadBackAsGiven) {
  for (const char* variant : {"2d", "2hd"}) {
    NewDisk disk(FileSystemKind::kHuBasic, variant);
    std::map<std::string, Bytes> expected;
    DirectoryEntry added, folder;
    AddRefusal refusal;
    const auto stored = [](const std::string& name, const std::string& extension) {
      std::string field = name;
      field.resize(13, ' ');
      field += extension;
      field.resize(16, ' ');
      return field;
    };
    ASSERT_TRUE(disk.Add(nullptr, stored("Games", ""), {}, true, folder, refusal, 0x80));
    for (int i = 0; i < 7; ++i) {
      Bytes data(static_cast<size_t>(1000 * i * i + 1));
      for (size_t b = 0; b < data.size(); ++b) data[b] = static_cast<unsigned char>(b * 3 + i);
      const std::string name = "Game" + std::to_string(i);
      ASSERT_TRUE(disk.Add(&folder, stored(name, "Bin"), data, false, added, refusal, 0x01))
          << variant << " " << i << " refusal " << refusal.reason;
      expected["Games/" + name + ".Bin"] = data;
    }
    ASSERT_TRUE(disk.Add(&folder, stored("Empty", ""), {}, false, added, refusal, 0x01));
    expected["Games/Empty"] = {};
    EXPECT_FALSE(disk.Add(nullptr, stored("Huge", ""), Bytes(70000), false, added, refusal, 0x01));
    EXPECT_EQ(refusal.reason, AddRefusal::kTooLarge);
    EXPECT_EQ(disk.Tree(), expected) << variant;
    const Identification id = disk.Identified();
    EXPECT_EQ(id.kind, FileSystemKind::kHuBasic) << variant;
    EXPECT_EQ(id.files, 8) << variant;
  }
}

// F-BASIC stores no size and no folders: files read back as their sectors, ASCII ones to 1Ah.
TEST(DiskWritingTest, FilesAddedToAnFBasicDiskReadBackAsItsSectors) {
  NewDisk disk(FileSystemKind::kFBasic, "2d");
  std::map<std::string, Bytes> expected;
  DirectoryEntry added;
  AddRefusal refusal;
  for (int i = 0; i < 12; ++i) {
    Bytes data(static_cast<size_t>(211 * i * i));
    for (size_t b = 0; b < data.size(); ++b) data[b] = static_cast<unsigned char>(b + 5 * i);
    std::string name = "PROG" + std::to_string(i);
    ASSERT_TRUE(
        disk.Add(nullptr, name + std::string(8 - name.size(), ' '), data, false, added, refusal, 2))
        << i << " refusal " << refusal.reason;
    data.resize((std::max<size_t>(data.size(), 1) + 255) / 256 * 256);
    expected[name] = data;
  }
  const std::string text = "10 CLS\r\n\x1a";
  ASSERT_TRUE(disk.Add(nullptr, "TEXT    ", Bytes(text.begin(), text.end()), false, added, refusal,
                       0, true));
  expected["TEXT"] = Bytes(text.begin(), text.end() - 1);
  EXPECT_EQ(disk.Tree(), expected);
  const Identification id = disk.Identified();
  EXPECT_EQ(id.kind, FileSystemKind::kFBasic);
  EXPECT_EQ(id.files, 13);
}

// MZ files are contiguous runs of blocks the bitmap marks: they read back as given, and the
// bitmap agrees with the directory.
TEST(DiskWritingTest, FilesAddedToAnMzDiskReadBackAsGivenAndTheBitmapAgrees) {
  for (const char* variant : {"2d", "2dd"}) {
    NewDisk disk(FileSystemKind::kMzBasic, variant);
    std::map<std::string, Bytes> expected;
    DirectoryEntry added;
    AddRefusal refusal;
    for (int i = 0; i < 20; ++i) {
      Bytes data(static_cast<size_t>(90 * i * i + 1));
      for (size_t b = 0; b < data.size(); ++b) data[b] = static_cast<unsigned char>(b ^ i);
      const std::string name = "program " + std::to_string(i);
      std::string stored = name + "\r";
      stored.resize(17, '\r');
      ASSERT_TRUE(disk.Add(nullptr, stored, data, false, added, refusal, i % 2 + 1))
          << variant << " " << i << " refusal " << refusal.reason;
      expected[name] = data;
    }
    EXPECT_FALSE(disk.Add(nullptr, "folder\r", {}, true, added, refusal, 1));
    EXPECT_EQ(refusal.reason, AddRefusal::kNotSupported);
    auto root = std::make_unique<DirectoryCursor>();
    disk.fs->Root(*root);
    std::map<std::string, Bytes> files;
    ReadTree(*disk.fs, *root, "", files);
    EXPECT_EQ(files, expected) << variant;
    auto fs = std::make_unique<FileSystem>();
    ASSERT_TRUE(fs->Mount(*disk.map, FileSystemKind::kMzBasic));
    EXPECT_EQ(fs->Layout().allocation_mismatches, 0) << variant;
    Identification id;
    Identify(*disk.map, *fs, id);
    EXPECT_EQ(id.files, 20) << variant;
  }
}

// CP/M files of user 0 and of a user folder, one of several entries, read back as their records,
// by this library and by cpmtools.
TEST(DiskWritingTest, FilesAddedToACpmDiskAreTheRecordsCpmtoolsReads) {
  NewDisk disk(FileSystemKind::kCpm, "x1turbo-2d");
  std::map<std::string, Bytes> expected;
  DirectoryEntry added, user;
  AddRefusal refusal;
  ASSERT_TRUE(disk.Add(nullptr, "5", {}, true, user, refusal, 0));
  const std::pair<const char*, size_t> files[] = {
      {"EMPTY   TXT", 0}, {"ONE     BIN", 100}, {"TWO     BIN", 5000}, {"BIG     COM", 40000}};
  const DirectoryEntry* folders[] = {nullptr, &user};
  for (const DirectoryEntry* folder : folders) {
    for (const auto& [stored, size] : files) {
      Bytes data(size);
      for (size_t b = 0; b < size; ++b) data[b] = static_cast<unsigned char>(b * 5 + 1);
      ASSERT_TRUE(disk.Add(folder, stored, data, false, added, refusal, 0))
          << stored << " refusal " << refusal.reason;
      std::string name = std::string(stored, 8);
      name.erase(name.find_last_not_of(' ') + 1);
      name += "." + std::string(stored + 8, 3);
      data.resize((size + 127) / 128 * 128);
      expected[(folder == nullptr ? "" : "5/") + name] = data;
    }
  }
  EXPECT_EQ(disk.Tree(), expected);
  const Identification id = disk.Identified();
  EXPECT_EQ(id.kind, FileSystemKind::kCpm);

  if (system("command -v cpmcp >/dev/null") != 0) GTEST_SKIP() << "cpmtools missing";
  TempDir dir;
  WriteFile(dir / "cpm.img", disk.disk);
  const std::string diskdefs =
      "diskdef x1turbo2d\n seclen 256\n tracks 80\n sectrk 16\n blocksize 2048\n maxdir 64\n"
      " skew 0\n boottrk 4\n os 2.2\nend\n";
  WriteFile(dir / "diskdefs", Bytes(diskdefs.begin(), diskdefs.end()));
  const std::string commands = "set -e; cd " + dir.path() +
                               "; mkdir -p ref/5; cpmcp -f x1turbo2d cpm.img '0:*' ref/"
                               "; cpmcp -f x1turbo2d cpm.img '5:*' ref/5/";
  ASSERT_EQ(system(commands.c_str()), 0);
  for (const auto& [path, bytes] : expected) {
    std::string lower = path;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(ReadFile(dir.path() + "/ref/" + lower), bytes) << path;
  }
}

// Names go onto disks in code page 932: kanji, kana (full and half width) and ASCII convert and
// read back as themselves; what has no code, or only a look-alike, is refused, as are bad UTF-8
// and a text that does not fit.
TEST(DiskWritingTest, NamesConvertToShiftJisExactlyOrNotAtAll) {
  char sjis[32];
  ASSERT_EQ(Utf8ToShiftJis("\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.BIN", sjis, sizeof sjis), 10);
  EXPECT_EQ(std::string(sjis), "\x83\x51\x81\x5B\x83\x80.BIN");  // ゲーム.BIN
  ASSERT_EQ(Utf8ToShiftJis("\xEF\xBD\xB6\xE6\xBC\xA2", sjis, sizeof sjis), 3);
  EXPECT_EQ(std::string(sjis), "\xB6\x8A\xBF");  // half-width ka, kanji
  char utf8[64];
  int columns = 0;
  ASSERT_EQ(ShiftJisToUtf8(sjis, utf8, sizeof utf8, columns), 0);
  EXPECT_EQ(std::string(utf8), "\xEF\xBD\xB6\xE6\xBC\xA2");
  EXPECT_EQ(Utf8ToShiftJis("\xC3\xA9", sjis, sizeof sjis), -1);          // é: no code
  EXPECT_EQ(Utf8ToShiftJis("\xF0\x9F\x98\x80", sjis, sizeof sjis), -1);  // an emoji
  EXPECT_EQ(Utf8ToShiftJis("\xE3\x82", sjis, sizeof sjis), -1);          // cut short
  EXPECT_EQ(Utf8ToShiftJis("\xC0\xAF", sjis, sizeof sjis), -1);          // overlong
  EXPECT_EQ(Utf8ToShiftJis("ABCDEFGH", sjis, 8), -1);                    // no room for the NUL
  EXPECT_EQ(Utf8ToShiftJis("ABCDEFG", sjis, 8), 7);
}

// Each system's name rule: what fits is stored padded as its directory pads it and reads back as
// given; what breaks it is refused with the rule, or with shortening made to fit.
TEST(DiskWritingTest, NamesAreFormedByEachSystemsRule) {
  EntryName formed;
  char rule[160];
  ASSERT_TRUE(
      FormEntryName(FileSystemKind::kFat12, "readme.txt", false, false, formed, rule, sizeof rule));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(formed.stored), 12), "README  TXT\x18");
  EXPECT_EQ(std::string(formed.shown), "readme.txt");
  EXPECT_FALSE(formed.changed);
  EXPECT_FALSE(
      FormEntryName(FileSystemKind::kFat12, "a+b.txt", false, false, formed, rule, sizeof rule));
  EXPECT_EQ(std::string(rule), "fat12 names hold none of \"*+,./:;<=>?[\\]| or spaces");
  ASSERT_TRUE(FormEntryName(FileSystemKind::kFat12, "archive.tar.gz", false, true, formed, rule,
                            sizeof rule));
  EXPECT_EQ(std::string(formed.shown), "archivet.gz");
  EXPECT_TRUE(formed.changed);
  // Human68k: 18 bytes before the point, the 9th on after the extension, 00h-padded.
  ASSERT_TRUE(FormEntryName(FileSystemKind::kHuman68k, "LongerName12.x", false, false, formed, rule,
                            sizeof rule));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(formed.stored), 21),
            std::string("LongerNax  me12\0\0\0\0\0\0", 21));
  // Without double-byte characters, full-width kana become half-width: "ゲーム" in 5 bytes.
  ASSERT_TRUE(FormEntryName(FileSystemKind::kHuBasic, "\x83\x51\x81\x5B\x83\x80", false, false,
                            formed, rule, sizeof rule));
  EXPECT_EQ(std::string(formed.shown), "\xB9\xDE\xB0\xD1");
  EXPECT_FALSE(
      FormEntryName(FileSystemKind::kCpm, "\xB6.COM", false, false, formed, rule, sizeof rule));
  EXPECT_EQ(std::string(rule), "cpm names hold ASCII characters only");
  EXPECT_FALSE(FormEntryName(FileSystemKind::kCpm, "16", true, true, formed, rule, sizeof rule));
  EXPECT_TRUE(FormEntryName(FileSystemKind::kCpm, "15", true, false, formed, rule, sizeof rule));
  EXPECT_FALSE(
      FormEntryName(FileSystemKind::kN88Basic, "GAMES", true, true, formed, rule, sizeof rule));
  EXPECT_EQ(std::string(rule), "n88-basic has no folders");
  ASSERT_TRUE(FormEntryName(FileSystemKind::kMzBasic, "MZ program.v2", false, false, formed, rule,
                            sizeof rule));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(formed.stored), 17), "MZ program.v2\r\r\r\r");
}

// A file removed frees its clusters: the disk has the room it had before the file, reads without
// damage, and takes the next file there (a replaced file, as dskput --replace does).
TEST(DiskWritingTest, RemovedFilesFreeTheirClustersForTheNext) {
  for (int i = 0; IsFileSystem(NthFileSystem(i)); ++i) {
    const FileSystemKind kind = NthFileSystem(i);
    const char* variant;
    SectorGrid grid;
    ASSERT_TRUE(NthFormatVariant(kind, 0, variant, grid));
    NewDisk disk(kind, variant);
    const auto add = [&](const char* name, size_t size, DirectoryEntry& added) {
      EntryName formed;
      char rule[160];
      NewEntry entry = {};
      EXPECT_TRUE(FormEntryName(kind, name, false, false, formed, rule, sizeof rule)) << rule;
      memcpy(entry.name, formed.stored, sizeof entry.name);
      Bytes data(size, static_cast<unsigned char>(size));
      EXPECT_TRUE(ChooseFileType(kind, nullptr, name, data.data(), size, entry, rule, sizeof rule));
      entry.data = data.data();
      entry.size = static_cast<int64_t>(size);
      AddRefusal refusal;
      return disk.fs->AddEntry(disk.disk.data(), disk.disk.size(), nullptr, entry, added, refusal);
    };
    DirectoryEntry keep, removed, again;
    ASSERT_TRUE(add("KEEP.BIN", 3000, keep)) << FileSystemName(kind);
    const int free_before = disk.fs->FreeClusters();
    ASSERT_TRUE(add("GONE.BIN", 9000, removed)) << FileSystemName(kind);
    AddRefusal refusal;
    ASSERT_TRUE(disk.fs->RemoveEntry(disk.disk.data(), disk.disk.size(), removed, refusal))
        << FileSystemName(kind) << " refusal " << refusal.reason;
    EXPECT_EQ(disk.fs->FreeClusters(), free_before) << FileSystemName(kind);
    auto other = std::make_unique<FileSystem>();
    ASSERT_TRUE(other->Mount(*disk.map, kind)) << FileSystemName(kind);
    EXPECT_EQ(other->FreeClusters(), free_before) << FileSystemName(kind);
    EXPECT_EQ(other->Layout().allocation_mismatches, 0) << FileSystemName(kind);
    ASSERT_TRUE(add("GONE.BIN", 5000, again)) << FileSystemName(kind);
    const std::map<std::string, Bytes> tree = disk.Tree();
    ASSERT_EQ(tree.size(), 2u) << FileSystemName(kind);
    EXPECT_EQ(tree.at("GONE.BIN").size(), kind == FileSystemKind::kCpm        ? 5120u
                                          : kind == FileSystemKind::kN88Basic ? 5120u
                                          : kind == FileSystemKind::kFBasic   ? 5120u
                                                                              : 5000u)
        << FileSystemName(kind);
    EXPECT_EQ(tree.at("GONE.BIN")[0], static_cast<unsigned char>(5000 & 0xFF));
  }
}

}  // namespace
