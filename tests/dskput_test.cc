// End-to-end tests of dskput: every variant formatted and given files that dskget reads back,
// the real corpora's trees put on new disks and read back the same, an image given left alone
// (or, with --in-place, kept as IMAGE.bak), what does not fit refused with nothing written, and
// FAT dates as mtools reads them.
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "diskimage/disk_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/identify.h"
#include "tests/e2e_fixture.h"
#include "tests/real_disks.h"

namespace {

using namespace diskimage;

class DskputTest : public E2eTest {
 protected:
  DskputTest() : E2eTest("dskput") {}

  // Writes `bytes` to `name` below the working directory (folders made as needed).
  void Host(const std::string& name, const std::string& bytes) {
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) mkdir((work() + "/" + name.substr(0, slash)).c_str(), 0755);
    WriteFile(work() + "/" + name, Bytes(bytes.begin(), bytes.end()));
  }

  // The files dskget takes out of disk 0 of `image` (below the working directory), by path below
  // the disk's folder 000; `listing` gets dskget -l's output.
  Tree Extracted(const std::string& image, std::string* listing = nullptr) {
    TempDir out;
    RunOptions options;
    options.cwd = out.path();
    const std::string path = image[0] == '/' ? image : work() + "/" + image;
    const RunResult run = RunProgram(ProgramCommand("dskget"), {path}, options);
    EXPECT_EQ(run.status, 0) << image << ": " << run.err;
    if (listing != nullptr) {
      *listing = RunProgram(ProgramCommand("dskget"), {"-l", path}, options).out;
    }
    Tree files;
    for (const auto& [name, content] : Snapshot(out.path())) {
      if (name.rfind("000/", 0) == 0) files[name.substr(4)] = content;
    }
    return files;
  }
};

bool FileExists(const std::string& path) {
  struct stat facts;
  return stat(path.c_str(), &facts) == 0;
}

std::string Pattern(size_t size, int seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 13 + seed + (i >> 8));
  return bytes;
}

// Every variant: a binary, a text file and (where the system has folders) a folder with a file,
// read back by dskget as given (a CP/M file as its records).
TEST_F(DskputTest, EveryVariantHoldsTheFilesGivenAsDskgetReadsThem) {
  const std::string binary = Pattern(4096, 1), text = "10 PRINT \"HELLO\"\r\n", data = "DATA";
  Host("GAME.BIN", binary);
  Host("TEXT.TXT", text);
  Host("SUB/A.DAT", data);
  Host("5/A.DAT", data);
  int variants = 0;
  for (int i = 0; IsFileSystem(NthFileSystem(i)); ++i) {
    const FileSystemKind kind = NthFileSystem(i);
    const std::string fs = FileSystemName(kind);
    const char* name;
    SectorGrid grid;
    for (int v = 0; NthFormatVariant(kind, v, name, grid); ++v, ++variants) {
      const std::string variant = fs + ":" + name, out = fs + "_" + name + ".d88";
      std::vector<std::string> args = {"-n", variant, out, "GAME.BIN", "TEXT.TXT"};
      const bool folders = kind == FileSystemKind::kFat12 || kind == FileSystemKind::kHuman68k ||
                           kind == FileSystemKind::kHuBasic || kind == FileSystemKind::kCpm;
      const std::string folder = kind == FileSystemKind::kCpm ? "5" : "SUB";
      if (folders) args.push_back(folder);
      const RunResult put = Run(args);
      ASSERT_EQ(put.status, 0) << variant << ": " << put.err;
      EXPECT_NE(put.out.find("GAME.BIN -> GAME.BIN" + LineEnd()), std::string::npos) << put.out;
      Tree expected = {{"GAME.BIN", "file:" + binary}, {"TEXT.TXT", "file:" + text}};
      if (kind == FileSystemKind::kCpm) expected["TEXT.TXT"].resize(5 + 128, '\0');
      if (folders) {
        expected[folder] = "dir";
        expected[folder + "/A.DAT"] = "file:" + data;
        if (kind == FileSystemKind::kCpm) expected[folder + "/A.DAT"].resize(5 + 128, '\0');
      }
      std::string listing;
      EXPECT_EQ(Extracted(out, &listing), expected) << variant;
      EXPECT_NE(listing.find("] " + fs), std::string::npos) << variant << ": " << listing;
    }
  }
  EXPECT_GE(variants, 14);
  const RunResult list = Run({"--list"});
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("fat12:pc98-2hd       77 x 2 x  8 x 1024   1232 KB" + LineEnd()),
            std::string::npos)
      << list.out;
}

// Each real disk of a file system: its files, taken out by dskget, put on a new disk of the same
// system (the first variant that holds them) and taken out again, are the same tree. Types are
// not in host names: an ASCII file named without .bas, .asc or .txt on a system that records no
// size comes back as whole sectors, and is left out.
TEST_F(DskputTest, RealDisksTreesPutOnNewDisksReadBackTheSame) {
  REAL_DISK_OR_SKIP(named, "HuBASIC_Format_2D.d88");
  const std::string real = named.substr(0, named.rfind('/'));
  int disks = 0, files = 0, left_out = 0;
  for (const char* folder : {"", "/corpus1", "/corpus2", "/corpus3", "/corpus4"}) {
    for (const auto& [name, content] : Snapshot(real + folder)) {
      if (content.rfind("file:", 0) != 0 || name.find('/') != std::string::npos) continue;
      const std::string path = real + folder + "/" + name;
      auto image = std::make_unique<DiskImage>();
      if (!image->Open(path.c_str()) || !image->SelectDisk(0)) continue;
      auto map = std::make_unique<DiskMap>();
      map->Load(image->Disk());
      auto fs = std::make_unique<FileSystem>();
      Identification id;
      Identify(*map, *fs, id);
      if (!IsFileSystem(id.kind) || id.damaged > 0) continue;
      std::string listing;
      Tree before = Extracted(path, &listing);
      const std::string source = work() + "/source_" + name;
      mkdir(source.c_str(), 0755);
      for (const auto& [file, bytes] : before) {
        if (bytes == "dir") {
          mkdir((source + "/" + file).c_str(), 0755);
        } else {
          WriteFile(source + "/" + file, Bytes(bytes.begin() + 5, bytes.end()));
        }
      }
      std::vector<std::string> paths;
      for (const auto& [file, bytes] : before) {
        if (file.find('/') == std::string::npos) paths.push_back(source + "/" + file);
      }
      RunResult put;
      const char* variant;
      SectorGrid grid;
      const std::string out = "round_" + name + ".d88";
      for (int v = 0; NthFormatVariant(id.kind, v, variant, grid); ++v) {
        std::vector<std::string> args = {"-n", FileSystemName(id.kind) + std::string(":") + variant,
                                         out};
        args.insert(args.end(), paths.begin(), paths.end());
        put = Run(args);
        if (put.status == 0) break;
      }
      ASSERT_EQ(put.status, 0) << name << ": " << put.err;
      Tree after = Extracted(out);
      // The listing's line of `file` shows an ASCII type ("asc", "bas a", "dat a").
      const auto ascii = [&listing](const std::string& file) {
        const size_t at = listing.find("  " + file + LineEnd());
        const size_t line = at == std::string::npos ? 0 : listing.rfind('\n', at) + 1;
        const std::string fields = listing.substr(line, at - line);
        return at != std::string::npos && (fields.find(" asc") != std::string::npos ||
                                           fields.find(" a ") != std::string::npos);
      };
      const bool sizes = id.kind != FileSystemKind::kN88Basic && id.kind != FileSystemKind::kFBasic;
      for (auto file = before.begin(); file != before.end();) {
        const size_t point = file->first.rfind('.');
        std::string extension = point == std::string::npos ? "" : file->first.substr(point);
        for (char& c : extension) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        const bool text_name = extension == ".bas" || extension == ".asc" || extension == ".txt";
        if (!sizes && !text_name && ascii(file->first)) {
          after.erase(file->first);
          file = before.erase(file);
          ++left_out;
        } else {
          ++file;
        }
      }
      EXPECT_EQ(after, before) << name;
      ++disks;
      files += static_cast<int>(before.size());
    }
  }
  EXPECT_GE(disks, 40);
  EXPECT_GE(files, 500);
  EXPECT_LE(left_out, 4);
}

TEST_F(DskputTest, AnImageGivenIsLeftAloneOrWithInPlaceKeptAsItsBackup) {
  Host("ONE.BIN", Pattern(3000, 2));
  Host("TWO.BIN", Pattern(100, 3));
  ASSERT_EQ(Run({"-n", "hu-basic:2d", "disk.d88", "ONE.BIN"}).status, 0);
  SetImage(ReadFile(work() + "/disk.d88"));
  const RunResult copy = RunOnImage({"TWO.BIN", "-o", "copy.d88"});
  ASSERT_EQ(copy.status, 0) << copy.err;
  EXPECT_EQ(Extracted("copy.d88"), (Tree{{"ONE.BIN", "file:" + Pattern(3000, 2)},
                                         {"TWO.BIN", "file:" + Pattern(100, 3)}}));
  // The copy exists: not replaced without -f; a name already on the disk is refused.
  EXPECT_EQ(RunOnImage({"TWO.BIN", "-o", "copy.d88"}).err,
            Lines({"dskput: copy.d88: exists; not replaced (-f replaces it)"}));
  const RunResult again = RunOnImage({"ONE.BIN", "-o", "other.d88"});
  EXPECT_EQ(again.status, 2);
  EXPECT_EQ(
      again.err,
      Lines({"dskput: ONE.BIN: the disk has ONE.BIN already; not added (--replace replaces it)",
             "dskput: note: nothing written: 1 of the paths could not be added"}));
  EXPECT_FALSE(FileExists(work() + "/other.d88"));
  Host("ONE.BIN", "new");
  ASSERT_EQ(RunOnImage({"ONE.BIN", "-o", "other.d88", "--replace"}).status, 0);
  EXPECT_EQ(Extracted("other.d88"), (Tree{{"ONE.BIN", "file:new"}}));

  image.clear();  // --in-place changes it
  const RunResult in_place = RunOnImage({"TWO.BIN", "--in-place"});
  ASSERT_EQ(in_place.status, 0) << in_place.err;
  EXPECT_EQ(ReadFile(image_path() + ".bak"), ReadFile(work() + "/disk.d88"));
  EXPECT_EQ(ReadFile(image_path()), ReadFile(work() + "/copy.d88"));
  // The backup is never replaced.
  Host("THREE.BIN", "3");
  const Bytes written = ReadFile(image_path());
  EXPECT_EQ(RunOnImage({"THREE.BIN", "--in-place"}).status, 2);
  EXPECT_EQ(ReadFile(image_path()), written);
  ASSERT_EQ(RunOnImage({"THREE.BIN", "--in-place", "--no-backup"}).status, 0);
  EXPECT_EQ(Extracted(image_path()).count("THREE.BIN"), 1u);
}

TEST_F(DskputTest, WhatDoesNotFitIsRefusedWithNothingWritten) {
  Host("BIG.BIN", std::string(800000, 'x'));
  Host("LongFileName.Text", "long");
  const RunResult full = Run({"-n", "fat12:2dd", "full.img", "BIG.BIN"});
  EXPECT_EQ(full.status, 2);
  EXPECT_EQ(full.err, Lines({"dskput: disk 0: 730112 bytes free, BIG.BIN needs 800768",
                             "dskput: note: nothing written: 1 of the paths could not be added"}));
  EXPECT_FALSE(FileExists(work() + "/full.img"));
  const RunResult name = Run({"-n", "fat12:2dd", "name.img", "LongFileName.Text"});
  EXPECT_EQ(name.status, 2);
  EXPECT_EQ(
      name.err,
      Lines({"dskput: LongFileName.Text: fat12 names have at most 8 bytes before the point and "
             "3 after (--rename shortens it); not added",
             "dskput: note: nothing written: 1 of the paths could not be added"}));
  const RunResult renamed = Run({"-n", "fat12:2dd", "name.img", "LongFileName.Text", "--rename"});
  EXPECT_EQ(renamed.status, 0);
  EXPECT_EQ(renamed.err, Lines({"dskput: warning: LongFileName.Text: written as LONGFILE.TEX"}));
  EXPECT_EQ(Extracted("name.img"), (Tree{{"LONGFILE.TEX", "file:long"}}));
}

// Every FAT variant, Human68k's too: the host file's bytes and date are the entry's, as mtools
// reads them back.
TEST_F(DskputTest, FatDisksHoldTheHostFilesAndDatesAsMtoolsReadsThem) {
  if (system("command -v mcopy >/dev/null") != 0) GTEST_SKIP() << "mtools is not installed";
  Host("dated.txt", "dated");
  struct tm local = {};
  local.tm_year = 2001 - 1900;
  local.tm_mon = 1;
  local.tm_mday = 3;
  local.tm_hour = 4;
  local.tm_min = 5;
  local.tm_sec = 6;
  local.tm_isdst = -1;
  const time_t when = mktime(&local);
  const struct utimbuf times = {when, when};
  ASSERT_EQ(utime((work() + "/dated.txt").c_str(), &times), 0);
  for (const char* variant :
       {"fat12:pc98-2hd", "fat12:2hd", "fat12:2dd", "fat12:pc98-2dd", "human68k:2hd"}) {
    ASSERT_EQ(Run({"-n", variant, "dated.img", "dated.txt", "-f"}).status, 0) << variant;
    const std::string command = "cd " + work() + " && rm -rf out && mkdir out && " +
                                "MTOOLS_SKIP_CHECK=1 mcopy -m -i dated.img ::dated.txt out/ 2>&1";
    ASSERT_EQ(system(command.c_str()), 0) << variant;
    struct stat facts;
    ASSERT_EQ(stat((work() + "/out/dated.txt").c_str(), &facts), 0) << variant;
    EXPECT_EQ(facts.st_mtime, when) << variant;
    EXPECT_EQ(ReadFile(work() + "/out/dated.txt"), Bytes({'d', 'a', 't', 'e', 'd'})) << variant;
  }
  // A file with a long name mtools gave it, replaced: its long name goes too, and fsck.fat finds
  // nothing wrong. (Windows takes the host name LONGFI~1.TXT for longfilename.txt's short name.)
  if (UnderLauncher()) return;
  Host("longfilename.txt", "old");
  Host("LONGFI~1.TXT", "new");
  ASSERT_EQ(Run({"-n", "fat12:2dd", "long.img"}).status, 0);
  const std::string in_work = "cd " + work() + " && MTOOLS_SKIP_CHECK=1 ";
  ASSERT_EQ(system((in_work + "mcopy -i long.img longfilename.txt ::").c_str()), 0);
  ASSERT_EQ(Run({"long.img", "LONGFI~1.TXT", "--replace", "--in-place", "--no-backup"}).status, 0);
  EXPECT_NE(system((in_work + "mdir -i long.img :: | grep -q longfilename").c_str()), 0)
      << "the long name is still on the disk";
  EXPECT_EQ(
      system(("cd " + work() + " && { ! command -v fsck.fat || fsck.fat -n long.img; } >/dev/null")
                 .c_str()),
      0);
  EXPECT_EQ(Extracted("long.img").at("LONGFI~1.TXT"), "file:new");
}

// --boot: a FAT disk takes the boot sector but keeps its parameter block; an N88-BASIC disk keeps
// its IPL however many files fill it.
TEST_F(DskputTest, BootSectorsAreTakenWithoutWhatTheDiskNeedsOrItsFiles) {
  const std::string boot = Pattern(512, 7), ipl = Pattern(200, 9);
  Host("boot.bin", boot);
  Host("ipl.bin", ipl);
  ASSERT_EQ(Run({"-n", "fat12:2dd", "plain.img"}).status, 0);
  ASSERT_EQ(Run({"-n", "fat12:2dd", "boot.img", "--boot", "boot.bin"}).status, 0);
  const Bytes plain = ReadFile(work() + "/plain.img"), booted = ReadFile(work() + "/boot.img");
  for (size_t i = 0; i < 512; ++i) {
    const bool block = i >= 0x0B && i < 0x1E;
    EXPECT_EQ(booted[i], block ? plain[i] : static_cast<unsigned char>(boot[i])) << i;
  }
  EXPECT_TRUE(std::equal(plain.begin() + 512, plain.end(), booted.begin() + 512));
  // The boot sector of another image: the booted disk's own.
  ASSERT_EQ(Run({"-n", "fat12:2dd", "again.img", "--boot", "boot.img"}).status, 0);
  EXPECT_EQ(ReadFile(work() + "/again.img"), booted);

  Host("FILL.BIN", std::string(315392, 'f'));
  const RunResult n88 = Run({"-n", "n88-basic:2d", "ipl.2d", "--boot", "ipl.bin", "FILL.BIN"});
  ASSERT_EQ(n88.status, 0) << n88.err;
  const Bytes disk = ReadFile(work() + "/ipl.2d");
  EXPECT_EQ(std::string(disk.begin(), disk.begin() + 200), ipl);
  EXPECT_EQ(Extracted("ipl.2d").at("FILL.BIN"), "file:" + std::string(315392, 'f'));
  EXPECT_EQ(
      Run({"-n", "n88-basic:2d", "big.2d", "--boot", "FILL.BIN"}).err,
      Lines({"dskput: FILL.BIN: --boot: 315392 bytes; the new disk's boot sector holds 256"}));
}

}  // namespace
