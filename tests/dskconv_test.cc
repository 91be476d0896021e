// End-to-end tests of dskconv: every container written and read back (by dskconv and by MAME's
// floptool), losses refused or written with --lossy, split, join and collections, and files that
// exist or are the image left alone.
#include <sys/stat.h>

#include <cstdlib>

#include "tests/container_builder.h"
#include "tests/e2e_fixture.h"
#include "tests/fat12_image.h"
#include "tests/file_system_builder.h"

namespace {

class DskconvTest : public E2eTest {
 protected:
  DskconvTest() : E2eTest("dskconv") {}
};

// A full 1.2 MB PC-98 FAT12 disk (77 x 2 x 8 x 1024) as a raw dump, with a file.
Bytes Pc98Dump() {
  Fat12Image fat;
  fat.SetRoot(0, "GAME    BIN", 0x20, 2, 3000);
  fat.SetFat(2, 0x003);
  fat.SetFat(3, 0xFFF);
  for (size_t i = 0; i < fat.raw.size(); i += 7) fat.raw[i] ^= static_cast<uint8_t>(i >> 9);
  return fat.raw;
}

// The raw format floptool writes a 77 x 2 x 8 x 1024 disk in, and its reader of each container.
TEST_F(DskconvTest, EveryContainerReadsBackToTheSameSectorsHereAndInFloptool) {
  const Bytes raw = Pc98Dump();
  SetImage(SectorsToDisk(raw, {77, 2, 8, 3}).Media(0x20).Build());
  const bool floptool = system("command -v floptool >/dev/null") == 0;
  const struct {
    const char* name;
    const char* floptool_format;
  } outputs[] = {{"a.hdm", "xdf"}, {"a.fdi", "pc98_fdi"}, {"a.dim", "dim"}, {"a.nfd", "nfd"},
                 {"a.imd", "imd"}, {"a.fdd", "fdd"},      {"a.d88", "d88"}};
  for (const auto& output : outputs) {
    const RunResult to = RunOnImage({output.name});
    ASSERT_EQ(to.status, 0) << output.name << ": " << to.err;
    EXPECT_EQ(to.err, "");
    // Each container converts back: into a raw dump the same bytes, into D88 the same image.
    const std::string back = std::string("back_") + output.name + ".hdm";
    EXPECT_EQ(Run({output.name, back}).status, 0) << output.name;
    EXPECT_EQ(ReadFile(work() + "/" + back), raw) << output.name;
    const std::string d88 = std::string("back_") + output.name + ".d88";
    EXPECT_EQ(Run({output.name, d88}).status, 0) << output.name;
    EXPECT_EQ(ReadFile(work() + "/" + d88), image) << output.name;
    if (!floptool) continue;
    const std::string command = std::string("cd ") + work() + " && timeout 60 floptool " +
                                "flopconvert " + output.floptool_format + " xdf " + output.name +
                                " floptool.xdf >/dev/null 2>&1";
    ASSERT_EQ(system(command.c_str()), 0) << command;
    EXPECT_EQ(ReadFile(work() + "/floptool.xdf"), raw) << "floptool reads " << output.name;
    remove((work() + "/floptool.xdf").c_str());
  }
  EXPECT_EQ(ReadFile(work() + "/a.hdm"), raw);
}

// A disk no data-only container holds: an FM track 0, a deleted mark, a CRC error, a sector of
// another cylinder. Each loss is said and nothing written; --lossy writes the grid and warns.
TEST_F(DskconvTest, LossesAreSaidAndNothingWrittenUnlessLossy) {
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GAME", "BIN", 0x01, PatternBytes(5000, 1));
  DiskBuilder disk = hu.ToDisk("X1");
  disk.ReplaceTrack(1, WithMarks(TrackSectors(1, 1, 16, 1, &hu.Logical()[16 * 256]), 7));
  disk.ReplaceTrack(0, InterleavedFmTrack(16));
  SetImage(disk.Build());
  const std::string in = image_path();
  RunResult result = RunOnImage({"x.2d"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(
      result.err,
      Lines(
          {"dskconv: " + in + ": disk 0: the disk's name \"X1\"; a raw dump cannot hold it",
           "dskconv: " + in + ": disk 0: track 0 holds FM sectors; a raw dump cannot hold it",
           "dskconv: " + in +
               ": disk 0: track 0's sector IDs are not 1 to 16 in order, of its cylinder "
               "and head; a raw dump cannot hold it",
           "dskconv: " + in + ": disk 0: 1 sector with an error status; a raw dump cannot hold it",
           "dskconv: " + in +
               ": disk 0: 1 sector with a deleted-data mark; a raw dump cannot hold it",
           "dskconv: note: x.2d not written (--lossy writes what it can hold)"}));
  EXPECT_TRUE(WorkTree().empty());
  // D88 and NFD hold it all.
  EXPECT_EQ(RunOnImage({"x.nfd"}).status, 0);
  result = RunOnImage({"x.2d", "--lossy"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, Lines({in + " -> x.2d (raw)"}));
  EXPECT_NE(result.err.find("dskconv: warning: " + in + ": disk 0: track 0 holds FM sectors"),
            std::string::npos);
  const Bytes written = ReadFile(work() + "/x.2d");
  ASSERT_EQ(written.size(), 327680u);
  // Track 1's sectors by their numbers, the one of another cylinder (R 4) among them.
  const Bytes track1(hu.Logical().begin() + 16 * 256, hu.Logical().begin() + 32 * 256);
  EXPECT_TRUE(std::equal(written.begin() + 16 * 256 + 3 * 256, written.begin() + 32 * 256,
                         track1.begin() + 3 * 256));
  // A D88 image cut short is said as dskget says it, and what it holds converted.
  Bytes cut = SectorsToDisk(Pc98Dump(), {77, 2, 8, 3}).Media(0x20).Build();
  cut.resize(700000);
  SetImage(cut);
  result = RunOnImage({"cut.d88"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("dskconv: " + in + ": disk 0: its size field says 1281968 bytes"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(Run({"cut.d88", "cut.nfd"}).status, 0);
}

// Three disks split into three files, joined again into the same image; a collection converted
// into the folders dskget would give; OUT that exists, or is the image, left alone.
TEST_F(DskconvTest, SplitJoinCollectionsAndExistingFiles) {
  const Bytes raw = Pc98Dump();
  const Bytes one = SectorsToDisk(raw, {77, 2, 8, 3}).Media(0x20).Name("ONE").Build();
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GAME", "BIN", 0x01, PatternBytes(5000, 1));
  const Bytes two = hu.ToDisk("TWO").WriteProtect(0x10).Build();
  SetImage(Concatenate({one, two, one}));
  RunResult result = RunOnImage({"--split"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadFile(work() + "/image_1.d88"), one);
  EXPECT_EQ(ReadFile(work() + "/image_2.d88"), two);
  EXPECT_EQ(Run({"image_1.d88", "image_2.d88", "image_3.d88", "--join", "all.d88"}).status, 0);
  EXPECT_EQ(ReadFile(work() + "/all.d88"), image);
  // One disk of three is not a raw dump's; -o names the files, -t their container.
  result = RunOnImage({"one.hdm"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("3 disks; raw holds one (--split writes each to a file of its own)"),
            std::string::npos);
  result = RunOnImage({"--split", "-t", "nfd", "-o", "disk#.nfd"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Run({"disk3.nfd", "three.hdm", "--lossy"}).status, 0);
  EXPECT_EQ(ReadFile(work() + "/three.hdm"), raw);
  // A collection: the image's disks each in its folder (it holds three), the others beside.
  mkdir((root / "pack").c_str(), 0755);
  WriteFile(root / "pack/single.d88", one);
  WriteFile(root / "pack/many.d88", image);
  result = Run({root / "pack", "-t", "raw", "-C", "out", "--lossy"});
  EXPECT_EQ(result.status, 0) << result.err;
  const Tree tree = WorkTree();
  EXPECT_EQ(tree.at("out/pack/single.d88.hdm"), FileEntry(raw));
  EXPECT_EQ(tree.at("out/pack/many.d88/000.hdm"), FileEntry(raw));
  EXPECT_EQ(tree.count("out/pack/many.d88/001.2d"), 1u);
  // An OUT that exists is replaced only with -f, and never when it is the image.
  WriteFile(work() + "/keep.hdm", Bytes(10, 'k'));
  result = Run({"image_1.d88", "keep.hdm", "--lossy"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskconv: keep.hdm: exists; not replaced (-f replaces it)"}));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(ReadFile(work() + "/keep.hdm"), Bytes(10, 'k'));
  EXPECT_EQ(Run({"image_1.d88", "keep.hdm", "-f", "--lossy"}).status, 0);
  EXPECT_EQ(ReadFile(work() + "/keep.hdm"), raw);
  result = RunOnImage({image_path(), "-f", "-t", "d88"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err,
            Lines({"dskconv: " + image_path() + ": is an image read; not overwritten"}));
  // Nor when it is one of the images joined.
  const Bytes first = ReadFile(work() + "/image_1.d88");
  result = Run({"image_1.d88", "image_2.d88", "--join", "image_1.d88", "-f"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(ReadFile(work() + "/image_1.d88"), first);
  // A folder that cannot be written (a file where it should be) leaves nothing behind.
  WriteFile(work() + "/blocked", Bytes(1, 'b'));
  result = Run({"image_1.d88", "blocked/x.d88"});
  EXPECT_EQ(result.status, 2);
  // (The system's reason: "Not a directory", on Windows "No such file or directory".)
  EXPECT_EQ(result.err.rfind("dskconv: blocked/x.d88: cannot be written: ", 0), 0u) << result.err;
  for (const auto& [name, entry] : WorkTree()) {
    EXPECT_EQ(name.find(".dsk"), std::string::npos) << "a temporary file left: " << name;
  }
}

}  // namespace
