// End-to-end tests of dskpull: the command line, the 8-byte directory, the listing and every way
// an image or the file system can go wrong, compared byte for byte.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/e2e_fixture.h"
#include "tests/file_system_builder.h"

namespace {

class DskpullTest : public E2eTest {
 protected:
  DskpullTest() : E2eTest("dskpull") {}
  DskpullLayout layout;
};

TEST_F(DskpullTest, WrongArgumentsShowTheUsageLineAndHelpAndVersionAnswer) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"a.d88", "b.d88"}, {"a.d88", "-C"}, {"a.d88", "-d"}}) {
    const RunResult result = Run(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, Lines({"Usage: dskpull image", "Try 'dskpull --help'."}));
    EXPECT_EQ(result.out, "");
  }
  RunResult result = Run({"--help"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out.rfind("Usage: dskpull image [-l] [-u] [-f] [-C DIR]" + LineEnd(), 0), 0u);
  result = Run({"--version"});
  EXPECT_EQ(result.out, Lines({"dskpull " PROJECT_VERSION}));
  EXPECT_TRUE(WorkTree().empty());
}

// A disk that holds a standard file system is dskget's: said once, nothing listed or written,
// unless -f reads it as the layout all the same.
TEST_F(DskpullTest, ADiskHoldingAFileSystemIsLeftToDskgetUnlessAskedFor) {
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GAME", "BIN", 0x01, PatternBytes(5000, 1));
  SetImage(hu.ToDisk("X1").Build());
  RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskpull: the disk holds hu-basic (2D): dskget reads it"}));
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(WorkTree().empty());
  result = RunOnImage({"-f"});
  EXPECT_EQ(result.err.find("dskget reads it"), std::string::npos) << result.err;
  EXPECT_NE(result.out, "");
  EXPECT_FALSE(WorkTree().empty());
}

TEST_F(DskpullTest, ImageThatCannotBeOpenedGivesTheMessageAndTheReason) {
  const RunResult result = Run({root / "missing.d88"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, Lines({kCannotOpen, "dskpull: " + root / "missing.d88" +
                                                ": cannot open the image: No such file or "
                                                "directory"}));
  EXPECT_TRUE(WorkTree().empty());
}

TEST_F(DskpullTest, ListsAndWritesEveryFileOfTheFirstDisk) {
  layout.track_image = PatternBytes(DskpullLayout::kImageSize, 3);
  layout.SetEntry(0, "ABCD", 0x06, 0x03, 0x0210);
  layout.SetEntry(1, "EVEN", 0x06, 0x02, 10);  // positions 2 and 3 start at the same sector
  layout.SetEntry(2, "A B ", 0x04, 0x00, 0);   // spaces stay; an empty file
  layout.SetEntry(3, std::string("XY\0Z", 4), 0x4F, 0x12, 512);  // the NUL ends the name
  DskpullLayout other;
  other.AddFile("NOPE", Bytes(5, 1));
  SetImage(Concatenate({layout.ToDisk("P").Build(), other.ToDisk("Q").Build()}));
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, Lines({"ABCD 06 03 10 02 02 528", "EVEN 06 02 0a 00 02 10",
                               "A B  04 00 00 00 01 00", "XY   4f 12 00 02 10 512"}));
  const Bytes abcd = layout.Expected(0);
  EXPECT_EQ(abcd, Bytes(layout.track_image.begin() + 10752, layout.track_image.begin() + 11280));
  EXPECT_EQ(WorkTree(), (Tree{{"ABCD", FileEntry(abcd)},
                              {"EVEN", FileEntry(Bytes(abcd.begin(), abcd.begin() + 10))},
                              {HostName("A B "), "file:"},
                              {"XY", FileEntry(layout.Expected(3))}}));
}

TEST_F(DskpullTest, FullDirectoryEndsAfterTheLastEntry) {
  for (int i = 0; i < 128; ++i) {
    char name[5];
    snprintf(name, sizeof name, "F%03d", i);
    layout.AddFile(name, PatternBytes(100 + i, i));
  }
  SetImage(layout.ToDisk("FULL").Build());
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 0);
  const Tree tree = WorkTree();
  ASSERT_EQ(tree.size(), 128u);
  EXPECT_EQ(tree.at("F127"), FileEntry(layout.Expected(127)));
}

TEST_F(DskpullTest, MissingSectorsLeaveZerosWhetherTheImageIsMappedOrReadFromItsFile) {
  // Track 5 lacks sector 7; sector 3 of track 6 holds 100 bytes (they are written, not counted).
  layout.track_image = PatternBytes(DskpullLayout::kImageSize, 4);
  layout.SetEntry(0, "GAP", 5, 0, 5120);
  layout.SetEntry(1, "SHRT", 6, 2, 1536);
  DiskBuilder holed;
  holed.Name("G");
  for (const SectorRecord& s : TrackSectors(1, 1, 4, 1, layout.directory.data()))
    holed.AddSector(1, s);
  for (const SectorRecord& s : TrackSectors(5, 1, 10, 2, &layout.track_image[5120])) {
    if (s.r != 7) holed.AddSector(5, s);
  }
  for (SectorRecord s : TrackSectors(6, 1, 10, 2, &layout.track_image[2 * 5120])) {
    if (s.r == 3) s.data.resize(100);
    holed.AddSector(6, s);
  }
  Bytes gap(layout.track_image.begin() + 5120, layout.track_image.begin() + 5120 + 3072);
  gap.resize(5120, 0);
  Bytes short_sector(layout.track_image.begin() + 2 * 5120 + 512,
                     layout.track_image.begin() + 2 * 5120 + 1024 + 100);
  short_sector.resize(1536, 0);
  // An image of more than 4 MiB is read through a window of its file rather than mapped.
  Bytes large = holed.Build();
  while (large.size() <= (4u << 20)) large = Concatenate({large, layout.ToDisk("L").Build()});
  for (const Bytes& image : {holed.Build(), large}) {
    SetImage(image);
    const RunResult result = RunOnImage();
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, Lines({"dskpull: GAP: 2048 of its 5120 bytes were not on the disk; "
                                 "they hold zeros",
                                 "dskpull: SHRT: 1024 of its 1536 bytes were not on the disk; "
                                 "they hold zeros"}));
    EXPECT_EQ(WorkTree(), (Tree{{"GAP", FileEntry(gap)}, {"SHRT", FileEntry(short_sector)}}));
    std::filesystem::remove_all(work());
    std::filesystem::create_directory(work());
  }
}

TEST_F(DskpullTest, AnImageThatShrinksWhileFilesAreWrittenFromItStopsTheRunWithAMessage) {
  if (UnderLauncher() || getenv("TEST_WRAPPER") != nullptr) GTEST_SKIP() << "needs exact timing";
  // 128 files whose names all need changing: the diagnostics fill a small pipe that is not read,
  // so the run waits there, its next file's sectors already found in the mapped image, while the
  // image is cut short.
  for (int f = 0; f < 128; ++f) layout.AddFile("a/" + std::to_string(f % 10) + "x", Bytes(300, 1));
  SetImage(layout.ToDisk("S").Build());
  int err[2];
  ASSERT_EQ(pipe(err), 0);
  fcntl(err[1], F_SETPIPE_SZ, 4096);
  const std::string program = ProgramCommand("dskpull").back();
  const pid_t child = fork();
  if (child == 0) {
    dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    if (chdir(work().c_str()) != 0) _exit(126);
    execl(program.c_str(), program.c_str(), image_path().c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(err[1]);
  usleep(300000);
  ASSERT_EQ(truncate(image_path().c_str(), 1000), 0);
  std::string said;
  char buffer[65536];
  for (ssize_t got; (got = read(err[0], buffer, sizeof buffer)) > 0;) said.append(buffer, got);
  int status = 0;
  waitpid(child, &status, 0);
  close(err[0]);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  const std::string stop =
      "dskpull: " + image_path() + ": the image shrank while it was read; run stopped\n";
  ASSERT_GE(said.size(), stop.size());
  EXPECT_EQ(said.substr(said.size() - stop.size()), stop);
  EXPECT_EQ(said.find("cannot be written"), std::string::npos);
  for (const auto& [name, entry] : WorkTree()) EXPECT_EQ(entry, FileEntry(Bytes(300, 1))) << name;
}

TEST_F(DskpullTest, EntriesOutsideTheTrackImageAreReportedNotFollowed) {
  layout.track_image = PatternBytes(DskpullLayout::kImageSize, 5);
  layout.SetEntry(0, "LOW ", 3, 0, 10);
  layout.SetEntry(1, "HIGH", 80, 0, 10);
  layout.SetEntry(2, "TAIL", 79, 18, 1000);
  layout.SetEntry(3, "../x", 4, 0, 4);
  SetImage(layout.ToDisk("B").Build());
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, Lines({"LOW  03 00 0a 00 01 10", "HIGH 50 00 0a 00 01 10",
                               "TAIL 4f 12 e8 03 10 1000", "../x 04 00 04 00 01 04"}));
  EXPECT_EQ(result.err,
            Lines({"dskpull: LOW : data starts at offset -5120, outside the 389120-byte track "
                   "image; no file written",
                   "dskpull: HIGH: data starts at offset 389120, outside the 389120-byte track "
                   "image; no file written",
                   "dskpull: TAIL: only 512 of 1000 bytes written: the data runs past the end of "
                   "the track image",
                   "dskpull: ../x: written as \".._x\" to stay a plain file name"}));
  EXPECT_EQ(
      WorkTree(),
      (Tree{{"TAIL", FileEntry(Bytes(layout.track_image.end() - 512, layout.track_image.end()))},
            {".._x", FileEntry(layout.Expected(3))}}));
}

TEST_F(DskpullTest, ReadOnlyDirectoryAndFullListingAreReported) {
  if (UnderLauncher()) GTEST_SKIP() << "needs privileges dropped and a POSIX device";
  layout.AddFile("ONE ", PatternBytes(700, 1));
  SetImage(layout.ToDisk("R").Build());
  RunOptions nobody;
  nobody.as_nobody = true;
  RunResult result = RunOnImage({}, nobody);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskpull: ONE : cannot be written: Permission denied"}));
  EXPECT_TRUE(WorkTree().empty());

  RunOptions full;
  full.stdout_path = "/dev/full";
  result = RunOnImage({}, full);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err,
            Lines({"dskpull: standard output: the listing could not be written: No space left on "
                   "device"}));
  EXPECT_EQ(WorkTree(), (Tree{{"ONE ", FileEntry(layout.Expected(0))}}));
}

TEST_F(DskpullTest, FileThatHoldsNoDiskOrNoDirectoryIsReported) {
  SetImage(Bytes(10, 0));
  RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out + result.err,
            Lines({"dskpull: " + image_path() +
                   ": holds no disk: it is 10 bytes long, shorter than a disk header"}));
  // A disk of the other layout: 1024-byte sectors on track 1.
  DskcutLayout other;
  other.AddFile("A", "", PatternBytes(10, 1));
  SetImage(other.ToDisk("OTHER").Build());
  result = RunOnImage();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out + result.err,
            Lines({"dskpull: " + image_path() +
                   ": no directory: track 1 holds no sector 1 of 256 bytes (dskinfo says what "
                   "the disk holds)"}));
  EXPECT_TRUE(WorkTree().empty());
}

TEST_F(DskpullTest, AnImageNamedLikeAnEntryIsNotOverwritten) {
  layout.AddFile("DATA", PatternBytes(300, 1));
  layout.AddFile("NOTE", PatternBytes(300, 2));
  const Bytes data = layout.ToDisk("D").Build();
  WriteFile(work() + "/DATA", data);
  const RunResult result = Run({"DATA"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskpull: DATA: is the image being read; not overwritten"}));
  EXPECT_EQ(WorkTree(), (Tree{{"DATA", FileEntry(data)}, {"NOTE", FileEntry(layout.Expected(1))}}));
}

TEST_F(DskpullTest, OptionsListWriteIntoADirectoryAndConvertNames) {
  layout.AddFile("\xB1\xB2\xB3 ", PatternBytes(300, 1));  // ｱｲｳ and a space
  layout.AddFile("DATA", PatternBytes(300, 2));
  SetImage(layout.ToDisk("D").Build());
  const RunResult listed = RunOnImage({"-l", "-u"});
  EXPECT_TRUE(WorkTree().empty());
  const RunResult written = RunOnImage({"-u", "-C", "out"});
  EXPECT_EQ(written.status, 0);
  EXPECT_EQ(written.out, listed.out);
  EXPECT_EQ(written.out, Lines({"\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3  04 00 2c 01 01 300",
                                "DATA 04 02 2c 01 02 300"}));
  EXPECT_EQ(WorkTree(), (Tree{{"out", "dir"},
                              {"out/" + HostName("\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3 "),
                               FileEntry(layout.Expected(0))},
                              {"out/DATA", FileEntry(layout.Expected(1))}}));
}

}  // namespace
