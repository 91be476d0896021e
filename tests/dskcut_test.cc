// End-to-end tests of dskcut: the command line, the per-disk loop, the directory layout and every
// way an image or the file system can go wrong, compared byte for byte.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "tests/e2e_fixture.h"
#include "tests/file_system_builder.h"

namespace {

const std::string kHelpD =
    "       -d : \x83\x54\x83\x75\x83\x66\x83\x42\x83\x8c\x83\x4e\x83\x67\x83\x8a\x82\xf0\x8d\xec"
    "\x90\xac\x82\xb5\x82\xc8";
const std::string kHelp2 =
    "       -2 : KOVA\x90\xd8\x82\xe8\x8f\x6f\x82\xb5\x83\x82\x81\x5b\x83\x68\x82\xc9\x82\xb7\x82"
    "\xe9";

class DskcutTest : public E2eTest {
 protected:
  DskcutTest() : E2eTest("dskcut") {}

  // Two disks: HELLO.TXT and DATA.BIN on disk 0, HELLO.TXT (other bytes) on disk 1.
  void SetTwoDiskImage() {
    first.AddFile("HELLO", "TXT", PatternBytes(300, 1));
    first.AddFile("DATA", "BIN", PatternBytes(5000, 2));
    second.AddFile("HELLO", "TXT", PatternBytes(1024, 3));
    SetImage(Concatenate({first.ToDisk("FIRST DISK").Build(), second.ToDisk("SECOND").Build()}));
  }

  DskcutLayout first, second;
};

TEST_F(DskcutTest, NoArgumentShowsTheUsageScreen) {
  const RunResult result = Run({});
  EXPECT_EQ(result.status, 1);
  const std::string program = ProgramCommand("dskcut").back();
  if (!UnderLauncher()) {
    EXPECT_EQ(result.err, Lines({"Usage: " + program + " [d88file] (-d)", kHelpD, kHelp2,
                                 "Try 'dskcut --help'."}));
  } else {
    EXPECT_NE(result.err.find(Lines({kHelpD, kHelp2, "Try 'dskcut --help'."})), std::string::npos);
  }
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(WorkTree().empty());
  if (UnderLauncher()) return;  // the terminal's locale is the host's
  // On a terminal that shows UTF-8 the Japanese lines are UTF-8; in files they stay Shift-JIS.
  RunOptions terminal;
  terminal.stderr_terminal = true;
  setenv("LC_ALL", "C.UTF-8", 1);
  const RunResult shown = Run({}, terminal);
  const RunResult missing = Run({root / "missing.d88"}, terminal);
  unsetenv("LC_ALL");
  EXPECT_EQ(shown.err, Lines({"Usage: " + program + " [d88file] (-d)",
                              "       -d : サブディレクトリを作成しな",
                              "       -2 : KOVA切り出しモードにする", "Try 'dskcut --help'."}));
  EXPECT_EQ(missing.err.rfind("ファイルをオープンできません\n", 0), 0u) << missing.err;
}

TEST_F(DskcutTest, ImageThatCannotBeOpenedGivesTheMessageAndTheReason) {
  const std::string missing = root / "missing.d88";
  for (const auto& [path, reason] :
       std::vector<std::pair<std::string, std::string>>{{missing, "No such file or directory"},
                                                        {"-d", "No such file or directory"},
                                                        {root.path(), "Is a directory"}}) {
    const RunResult result = Run({path});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              Lines({kCannotOpen, "dskcut: " + path + ": cannot open the image: " + reason}));
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(WorkTree().empty());
  }
}

TEST_F(DskcutTest, EveryDiskGoesIntoItsOwnNumberedDirectory) {
  SetTwoDiskImage();
  // Near misses and a second image are ignored, with a warning that leaves the status alone.
  const RunResult result = RunOnImage({"-D", "-dx", "b.d88", "-Cl"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, Lines({"dskcut: warning: argument \"-D\" ignored: unknown option",
                               "dskcut: warning: argument \"-dx\" ignored: unknown option",
                               "dskcut: warning: argument \"b.d88\" ignored: one image per run",
                               "dskcut: warning: argument \"-Cl\" ignored: unknown option"}));
  EXPECT_EQ(result.out,
            Lines({"", "[FIRST DISK] -> 000", "HELLO.TXT    02 00 02 80",
                   "DATA.BIN     02 02 14 00", "", "[SECOND] -> 001", "HELLO.TXT    02 00 04 00"}));
  Tree expected = {{"000", "dir"}, {"001", "dir"}};
  expected["000/HELLO.TXT"] = FileEntry(first.Expected(1));
  expected["000/DATA.BIN"] = FileEntry(first.Expected(2));
  expected["001/HELLO.TXT"] = FileEntry(second.Expected(1));
  EXPECT_EQ(WorkTree(), expected);
  EXPECT_EQ(first.Expected(1).size(), 384u);

  // A second run reuses the directories and replaces the files.
  EXPECT_EQ(RunOnImage().err, "");
  EXPECT_EQ(WorkTree(), expected);
}

// A disk that holds a standard file system is dskget's: said once and passed over, unless -f.
TEST_F(DskcutTest, ADiskHoldingAFileSystemIsLeftToDskgetUnlessAskedFor) {
  first.AddFile("HELLO", "TXT", PatternBytes(300, 1));
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GAME", "BIN", 0x01, PatternBytes(5000, 1));
  SetImage(Concatenate({hu.ToDisk("X1").Build(), first.ToDisk("GAME").Build()}));
  RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskcut: 000: the disk holds hu-basic (2D): dskget reads it"}));
  EXPECT_EQ(result.out, Lines({"", "[X1]", "", "[GAME] -> 001", "HELLO.TXT    02 00 02 80"}));
  EXPECT_EQ(WorkTree(), (Tree{{"001", "dir"}, {"001/HELLO.TXT", FileEntry(first.Expected(1))}}));
  result = RunOnImage({"-f", "-l"});
  EXPECT_EQ(result.err.find("dskget reads it"), std::string::npos) << result.err;
  EXPECT_EQ(result.out.rfind(Lines({"", "[X1] -> 000"}), 0), 0u) << result.out;
}

TEST_F(DskcutTest, OptionMistakesAreCaughtBeforeAnythingIsWritten) {
  SetTwoDiskImage();
  // Bundled options, in any order: -lu lists in UTF-8 and writes nothing.
  RunResult result = RunOnImage({"-ul"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, RunOnImage({"-l", "-u"}).out);
  EXPECT_TRUE(WorkTree().empty());
  // --help anywhere answers; -C without a directory is a usage error.
  EXPECT_EQ(RunOnImage({"-d", "--help"}).out.rfind("Usage: dskcut d88file", 0), 0u);
  result = RunOnImage({"-C"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err.rfind("dskcut: option -C needs a directory" + LineEnd(), 0), 0u);
  EXPECT_TRUE(WorkTree().empty());
  // Options before the image: the first argument is still the image, and a hint says why.
  result = Run({"-l", image_path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(
      result.err.find("dskcut: options go after the image: dskcut IMAGE [-d] [-2] [-l] [-u] [-f] "
                      "[-C DIR]"),
      std::string::npos);
  EXPECT_EQ(Run({"-h"}).out.rfind("Usage: dskcut d88file", 0), 0u);
  // With -u the Japanese message is in UTF-8 too.
  result = Run({root / "missing.d88", "-u"});
  EXPECT_EQ(result.err.rfind("ファイルをオープンできません" + LineEnd(), 0), 0u);
  EXPECT_TRUE(WorkTree().empty());
  if (!UnderLauncher()) {
    RunOptions full;
    full.stdout_path = "/dev/full";
    result = Run({"--help"}, full);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, Lines({"dskcut: write error: No space left on device"}));
  }
}

TEST_F(DskcutTest, ADiskWithoutADirectoryLeavesNoEmptyFolder) {
  first.AddFile("A", "", PatternBytes(10, 1));
  DskpullLayout other;
  other.AddFile("ABCD", PatternBytes(10, 2));
  SetImage(Concatenate({other.ToDisk("PULL").Build(), first.ToDisk("CUT").Build()}));
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(WorkTree(), (Tree{{"001", "dir"}, {"001/A", FileEntry(first.Expected(1))}}));
}

TEST_F(DskcutTest, AnInterruptedRunLeavesNoPartialOrTemporaryFile) {
  if (UnderLauncher() || getenv("TEST_WRAPPER") != nullptr) GTEST_SKIP() << "needs exact timing";
  std::vector<Bytes> disks;
  for (int d = 0; d < 8; ++d) {
    DskcutLayout layout;
    for (int f = 0; f < 120; ++f)
      layout.AddFile("F" + std::to_string(f), "", PatternBytes(3000, f));
    disks.push_back(layout.ToDisk("D").Build());
  }
  SetImage(Concatenate(disks));
  ASSERT_EQ(RunOnImage().status, 0);
  const Tree whole = WorkTree();
  const std::vector<std::string> command = ProgramCommand("dskcut");
  for (int round = 0; round < 24; ++round) {
    // Even rounds write new files, odd ones replace existing files through temporary ones.
    if (round % 2 == 0) {
      std::filesystem::remove_all(work());
      mkdir(work().c_str(), 0755);
    }
    const int sent = round % 3 == 0 ? SIGINT : round % 3 == 1 ? SIGTERM : SIGHUP;
    const pid_t child = fork();
    if (child == 0) {
      if (chdir(work().c_str()) != 0 || !freopen("/dev/null", "w", stdout)) _exit(127);
      execl(command.back().c_str(), command.back().c_str(), image_path().c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    usleep(300 + 400 * round);
    kill(child, sent);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) ? WEXITSTATUS(status) == 0 : WTERMSIG(status) == sent);
    for (const auto& [path, bytes] : WorkTree()) {
      ASSERT_EQ(whole.count(path), 1u) << path << " is no file of the run, round " << round;
      EXPECT_EQ(bytes, whole.at(path)) << path << " is not whole, round " << round;
    }
  }
}

TEST_F(DskcutTest, AnImageThatShrinksDuringTheRunStopsItWithAMessage) {
  if (UnderLauncher() || getenv("TEST_WRAPPER") != nullptr) GTEST_SKIP() << "needs exact timing";
  // 8 disks (an image small enough to be mapped), whose listing fills a small pipe that is not
  // read: the run waits there, on the first disk, while the image is cut short.
  std::vector<Bytes> disks;
  for (int d = 0; d < 8; ++d) {
    DskcutLayout layout;
    for (int f = 0; f < 120; ++f) layout.AddFile("F" + std::to_string(f), "", Bytes(300, 1));
    disks.push_back(layout.ToDisk("D").Build());
  }
  SetImage(Concatenate(disks));
  int out[2], err[2];
  ASSERT_EQ(pipe(out), 0);
  ASSERT_EQ(pipe(err), 0);
  fcntl(out[1], F_SETPIPE_SZ, 4096);
  const std::string program = ProgramCommand("dskcut").back();
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    execl(program.c_str(), program.c_str(), image_path().c_str(), "-l",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  usleep(300000);
  ASSERT_EQ(truncate(image_path().c_str(), 1000), 0);
  char buffer[65536];
  while (read(out[0], buffer, sizeof buffer) > 0) {
  }
  const ssize_t got = read(err[0], buffer, sizeof buffer - 1);
  buffer[got > 0 ? got : 0] = '\0';
  int status = 0;
  waitpid(child, &status, 0);
  close(out[0]);
  close(err[0]);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(std::string(buffer),
            "dskcut: " + image_path() + ": the image shrank while it was read; run stopped\n");
}

TEST_F(DskcutTest, ANameThatIsNotUtf8OnAUtf8TerminalGetsANote) {
  if (UnderLauncher()) GTEST_SKIP() << "the terminal's locale is the host's";
  first.AddFile("\x83\x65", "", PatternBytes(10, 1));  // Shift-JIS テ
  SetImage(first.ToDisk("T").Build());
  RunOptions terminal;
  terminal.stdout_terminal = true;
  setenv("LC_ALL", "C.UTF-8", 1);
  const RunResult result = RunOnImage({"-l"}, terminal);
  const RunResult converted = RunOnImage({"-l", "-u"}, terminal);
  unsetenv("LC_ALL");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, Lines({"dskcut: note: the names are Shift-JIS, as the disk holds them; -u "
                               "shows them in UTF-8"}));
  EXPECT_EQ(converted.err, "");
}

TEST_F(DskcutTest, WithoutSubdirectoriesTheLaterDiskWinsAndSaysSo) {
  SetTwoDiskImage();
  const RunResult result = RunOnImage({"-d"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskcut: HELLO.TXT: replaced by the file of the same name on disk "
                               "001 (-d puts every disk in one folder)"}));
  EXPECT_EQ(result.out,
            Lines({"", "[FIRST DISK]", "HELLO.TXT    02 00 02 80", "DATA.BIN     02 02 14 00", "",
                   "[SECOND]", "HELLO.TXT    02 00 04 00"}));
  EXPECT_EQ(WorkTree(), (Tree{{"HELLO.TXT", FileEntry(second.Expected(1))},
                              {"DATA.BIN", FileEntry(first.Expected(2))}}));
}

TEST_F(DskcutTest, KovaModeReadsOnPastEmptyEntries) {
  for (int i = 1; i <= 5; ++i) first.AddFile("F" + std::to_string(i), "", PatternBytes(10, i));
  first.Entry(4)[0] = 0;
  first.AddFile("ZERO", "", PatternBytes(10, 9), 0);  // entry 0 is never written
  SetImage(first.ToDisk("K").Build());
  RunResult result = RunOnImage({"-d"});
  EXPECT_EQ(result.out, Lines({"", "[K]", "F1           02 00 01 80", "F2           02 01 01 80",
                               "F3           02 02 01 80"}));
  EXPECT_EQ(WorkTree().size(), 3u);
  result = RunOnImage({"-d", "-2"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(WorkTree().size(), 4u);
  EXPECT_EQ(WorkTree().count("F5"), 1u);
  EXPECT_EQ(WorkTree().count("ZERO"), 0u);
}

TEST_F(DskcutTest, NamesAreBuiltFromTheEntryBytes) {
  first.SetEntry(1, "README", "TXT", 2, 0, 1, 0);
  first.SetEntry(2, "README", "", 2, 1, 1, 0);
  first.SetEntry(3, "AB", "C", 5, 2, 3, 0x80);
  first.SetEntry(4, "AB", std::string("\0XY", 3), 2, 0, 0, 0);   // "AB." then the NUL ends it
  first.SetEntry(5, std::string("CD\0", 3), "EXT", 2, 0, 0, 0);  // the NUL ends the name
  first.SetEntry(6, "\x83\x54\x83\x75", "", 2, 0, 1, 0);         // Shift-JIS passes unchanged
  for (int i = 0; i < DskcutLayout::kImageSize; ++i)
    first.track_image[i] = static_cast<uint8_t>(i / 256);
  SetImage(first.ToDisk("").Build());
  const RunResult result = RunOnImage({"-d"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            Lines({"", "[]", "README.TXT   02 00 01 00", "README       02 01 01 00",
                   "AB.C         05 02 03 80", "AB.          02 00 00 00",
                   "CD           02 00 00 00", "\x83\x54\x83\x75         02 00 01 00"}));
  const Tree tree = WorkTree();
  ASSERT_EQ(tree.size(), 6u);
  const Bytes ab_c = first.Expected(3);
  EXPECT_EQ(ab_c.size(), 640u);
  EXPECT_EQ(ab_c[0], (26112 / 256) & 0xFF);  // from track image offset 5 * 5120 + 2 * 256
  EXPECT_EQ(tree.at("AB.C"), FileEntry(ab_c));
  EXPECT_EQ(tree.at(HostName("AB.")), "file:");
  EXPECT_EQ(tree.at("CD"), "file:");
  // Windows gets the name in Unicode, decoded from Shift-JIS whatever its code page; wine keeps
  // it as UTF-8 on this file system.
  EXPECT_EQ(tree.at(UnderLauncher() ? "\xE3\x82\xB5\xE3\x83\x96" : "\x83\x54\x83\x75"),
            FileEntry(first.Expected(6)));
}

TEST_F(DskcutTest, DeviceNamesGetAPrefixOnWindowsOnly) {
  first.SetEntry(1, "CON", "TXT", 2, 0, 1, 0);
  first.SetEntry(2, "lpt1", "", 2, 0, 1, 0);
  SetImage(first.ToDisk("W").Build());
  const RunResult result = RunOnImage({"-d"});
  if (UnderLauncher()) {
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err,
              Lines({"dskcut: CON.TXT: written as \"_CON.TXT\" to stay a plain file name",
                     "dskcut: lpt1: written as \"_lpt1\" to stay a plain file name"}));
    EXPECT_EQ(WorkTree(),
              (Tree{{"_CON.TXT", FileEntry(Bytes(256, 0))}, {"_lpt1", FileEntry(Bytes(256, 0))}}));
  } else {
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(WorkTree(),
              (Tree{{"CON.TXT", FileEntry(Bytes(256, 0))}, {"lpt1", FileEntry(Bytes(256, 0))}}));
  }
}

TEST_F(DskcutTest, FilesRunAcrossTracksWhateverTheirSectorNumbering) {
  // 21 blocks from block 10 of track 7: the last 11 blocks come from track index 8, whose
  // sectors are numbered from 0xC1; track 9 counts from 0x41.
  first.track_image = PatternBytes(DskcutLayout::kImageSize, 7);
  first.sector_base[8] = 0xC0;
  first.sector_base[9] = 0x40;
  first.SetEntry(1, "CROSS", "", 7, 10, 21, 0);
  first.SetEntry(2, "NINE", "", 9, 0, 20, 0x80);
  first.SetEntry(3, "LOW", "", 0, 19, 2, 0);  // tracks 0 and 1 are never loaded: zeros
  SetImage(first.ToDisk("X").Build());
  const RunResult result = RunOnImage({"-d"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskcut: LOW: 512 of its 512 bytes were not on the disk; they hold "
                               "zeros or an earlier disk's bytes"}));
  const Tree tree = WorkTree();
  EXPECT_EQ(tree.at("CROSS"), FileEntry(first.Expected(1)));
  EXPECT_EQ(tree.at("NINE"), FileEntry(first.Expected(2)));
  EXPECT_EQ(tree.at("LOW"), FileEntry(Bytes(512, 0)));
}

TEST_F(DskcutTest, UnreadableSectorsKeepTheEarlierDisksBytes) {
  first.track_image = PatternBytes(DskcutLayout::kImageSize, 11);
  first.AddFile("OLD", "", Bytes(10, 1));
  // Disk 1: track 3 loses sector 4 (the rest of the track keeps disk 0's bytes), sector 2 of
  // track 4 is stored 100 bytes short, track 5 is absent, and the directory cannot be read, so
  // disk 0's directory is walked again against disk 1's tracks.
  second.track_image = PatternBytes(DskcutLayout::kImageSize, 12);
  DiskBuilder disk;
  disk.Name("SECOND");
  for (int track = 2; track < 80; ++track) {
    if (track == 5) continue;
    for (SectorRecord s : TrackSectors(track, 1, 5, 3, &second.track_image[track * 5120])) {
      if (track == 3 && s.r == 4) continue;
      if (track == 4 && s.r == 2) s.data.resize(924);
      disk.AddSector(track, s);
    }
  }
  first.SetEntry(1, "T3", "", 3, 0, 20, 0);
  first.SetEntry(2, "T4", "", 4, 0, 20, 0);
  first.SetEntry(3, "T5", "", 5, 0, 20, 0);
  SetImage(Concatenate({first.ToDisk("FIRST").Build(), disk.Build()}));
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 2);
  const std::string stale = " were not on the disk; they hold zeros or an earlier disk's bytes";
  EXPECT_EQ(result.err, Lines({"dskcut: 001: no directory: track 1 holds no sector 1 of 1024 "
                               "bytes (dskinfo says what the disk holds)",
                               "dskcut: 001/T3: directory entry 1 was not read from this disk",
                               "dskcut: 001/T3: 2048 of its 5120 bytes" + stale,
                               "dskcut: 001/T4: directory entry 2 was not read from this disk",
                               "dskcut: 001/T4: 4096 of its 5120 bytes" + stale,
                               "dskcut: 001/T5: directory entry 3 was not read from this disk",
                               "dskcut: 001/T5: 5120 of its 5120 bytes" + stale}));
  auto slice = [](const Bytes& b, size_t from, size_t to) {
    return Bytes(b.begin() + from, b.begin() + to);
  };
  Bytes t3 = slice(second.track_image, 3 * 5120, 3 * 5120 + 3072);
  Bytes rest3 = slice(first.track_image, 3 * 5120 + 3072, 4 * 5120);
  t3.insert(t3.end(), rest3.begin(), rest3.end());
  Bytes t4 = slice(second.track_image, 4 * 5120, 4 * 5120 + 1024 + 924);
  Bytes rest4 = slice(first.track_image, 4 * 5120 + 1024 + 924, 5 * 5120);
  t4.insert(t4.end(), rest4.begin(), rest4.end());
  const Tree tree = WorkTree();
  EXPECT_EQ(tree.at("001/T3"), FileEntry(t3));
  EXPECT_EQ(tree.at("001/T4"), FileEntry(t4));
  EXPECT_EQ(tree.at("001/T5"), FileEntry(slice(first.track_image, 5 * 5120, 6 * 5120)));
}

TEST_F(DskcutTest, AMissingTrackHoldsTheEarlierDisksBytesWhereNoneOfItsFilesLay) {
  // Disk 0's only file lies on track 2; disk 1 has no track 70, which its file wants.
  first.track_image = PatternBytes(DskcutLayout::kImageSize, 21);
  first.AddFile("ONE", "", Bytes(10, 1));
  second.track_image = PatternBytes(DskcutLayout::kImageSize, 22);
  second.SetEntry(1, "LATE", "", 70, 0, 20, 0);
  SetImage(Concatenate({first.ToDisk("FIRST").Build(), second.ToDisk("SECOND", 60).Build()}));
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskcut: 001/LATE: 5120 of its 5120 bytes were not on the disk; "
                               "they hold zeros or an earlier disk's bytes"}));
  const Bytes& track_70 = first.track_image;
  EXPECT_EQ(WorkTree().at("001/LATE"),
            FileEntry(Bytes(track_70.begin() + 70 * 5120, track_70.begin() + 71 * 5120)));
}

TEST_F(DskcutTest, EntriesOutsideTheTrackImageAreReportedNotFollowed) {
  first.track_image = PatternBytes(DskcutLayout::kImageSize, 5);
  first.SetEntry(1, "FAR", "", 80, 0, 1, 0);
  first.SetEntry(2, "TAIL", "", 79, 10, 20, 0);
  first.SetEntry(3, "NEG", "", 2, 0, 0, 0x80);
  first.SetEntry(4, "OK", "", 2, 0, 1, 0);
  SetImage(first.ToDisk("D").Build());
  const RunResult result = RunOnImage({"-d"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, Lines({"", "[D]", "FAR          50 00 01 00", "TAIL         4f 0a 14 00",
                               "NEG          02 00 00 80", "OK           02 00 01 00"}));
  EXPECT_EQ(result.err,
            Lines({"dskcut: FAR: data starts at offset 409600, outside the 409600-byte track "
                   "image; no file written",
                   "dskcut: TAIL: only 2560 of 5120 bytes written: the data runs past the end of "
                   "the track image",
                   "dskcut: NEG: negative size (-128 bytes); written as an empty file"}));
  EXPECT_EQ(
      WorkTree(),
      (Tree{{"TAIL", FileEntry(Bytes(first.track_image.end() - 2560, first.track_image.end()))},
            {"NEG", "file:"},
            {"OK", FileEntry(first.Expected(4))}}));
}

TEST_F(DskcutTest, NamesThatWouldLeaveTheDirectoryAreChanged) {
  first.SetEntry(1, "..", "", 2, 0, 1, 0);
  first.SetEntry(2, ".", "", 2, 0, 1, 0);
  first.SetEntry(3, " ", "", 2, 0, 1, 0);
  first.SetEntry(4, "A/B", "/", 2, 0, 1, 0);
  SetImage(first.ToDisk("N").Build());
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out,
            Lines({"", "[N] -> 000", "..           02 00 01 00", ".            02 00 01 00",
                   "             02 00 01 00", "A/B./        02 00 01 00"}));
  EXPECT_EQ(result.err,
            Lines({"dskcut: 000/..: written as \"__\" to stay a plain file name",
                   "dskcut: 000/.: written as \"_\" to stay a plain file name",
                   "dskcut: 000/: written as \"_\" to stay a plain file name",
                   "dskcut: 000/A/B./: written as \"A_B._\" to stay a plain file name"}));
  // -l says what would be done.
  EXPECT_EQ(RunOnImage({"-l"}).err.find("dskcut: 000/..: would be written as \"__\" to stay"), 0u);
  EXPECT_EQ(WorkTree(), (Tree{{"000", "dir"},
                              {"000/__", FileEntry(Bytes(256, 0))},
                              {"000/_", FileEntry(Bytes(256, 0))},
                              {"000/A_B._", FileEntry(Bytes(256, 0))}}));
}

TEST_F(DskcutTest, PlainFileInPlaceOfTheDirectorySkipsThatDisk) {
  if (UnderLauncher()) GTEST_SKIP() << "POSIX error text";
  SetTwoDiskImage();
  WriteFile(work() + "/000", Bytes{'x'});
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskcut: 000: cannot create or enter the directory: Not a "
                               "directory; disk skipped"}));
  EXPECT_EQ(result.out, Lines({"", "[SECOND] -> 001", "HELLO.TXT    02 00 04 00"}));
  EXPECT_EQ(
      WorkTree(),
      (Tree{{"000", "file:x"}, {"001", "dir"}, {"001/HELLO.TXT", FileEntry(second.Expected(1))}}));
}

TEST_F(DskcutTest, SymlinkedDirectoryIsUsedAndTheRunComesBackToTheStart) {
  if (UnderLauncher()) GTEST_SKIP() << "symbolic links are POSIX";
  SetTwoDiskImage();
  std::filesystem::create_directories(root / "elsewhere/deeper");
  ASSERT_EQ(symlink((root / "elsewhere/deeper").c_str(), (work() + "/000").c_str()), 0);
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 0);
  // Coming back by ".." would have put 001 into elsewhere/.
  EXPECT_EQ(WorkTree(), (Tree{{"000", "link:" + root / "elsewhere/deeper"},
                              {"001", "dir"},
                              {"001/HELLO.TXT", FileEntry(second.Expected(1))}}));
  EXPECT_EQ(Snapshot(root / "elsewhere"),
            (Tree{{"deeper", "dir"},
                  {"deeper/HELLO.TXT", FileEntry(first.Expected(1))},
                  {"deeper/DATA.BIN", FileEntry(first.Expected(2))}}));
}

TEST_F(DskcutTest, ReadOnlyDirectoryIsReportedAndNothingIsWritten) {
  if (UnderLauncher()) GTEST_SKIP() << "needs privileges dropped";
  SetTwoDiskImage();
  RunOptions nobody;
  nobody.as_nobody = true;
  RunResult result = RunOnImage({}, nobody);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            Lines({"dskcut: 000: cannot create or enter the directory: Permission denied; disk "
                   "skipped",
                   "dskcut: 001: cannot create or enter the directory: Permission denied; disk "
                   "skipped"}));
  result = RunOnImage({"-d"}, nobody);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskcut: HELLO.TXT: cannot be written: Permission denied",
                               "dskcut: DATA.BIN: cannot be written: Permission denied",
                               "dskcut: HELLO.TXT: cannot be written: Permission denied"}));
  EXPECT_TRUE(WorkTree().empty());
}

TEST_F(DskcutTest, WriteThatFailsPartWayKeepsTheOldFileAndLeavesNoPartialFile) {
  if (UnderLauncher()) GTEST_SKIP() << "POSIX error text";
  first.AddFile("SMALL", "", PatternBytes(1000, 1));
  first.AddFile("BIG", "", PatternBytes(9000, 2));
  first.AddFile("NEW", "", PatternBytes(9000, 3));
  SetImage(first.ToDisk("L").Build());
  WriteFile(work() + "/BIG", Bytes{'o', 'l', 'd'});
  RunOptions limited;
  limited.file_size_limit = 4096;
  const RunResult result = RunOnImage({"-d"}, limited);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskcut: BIG: cannot be written: File too large",
                               "dskcut: NEW: cannot be written: File too large"}));
  EXPECT_EQ(WorkTree(), (Tree{{"SMALL", FileEntry(first.Expected(1))}, {"BIG", "file:old"}}));
}

TEST_F(DskcutTest, ListingThatCannotBeWrittenFailsTheRun) {
  if (UnderLauncher()) GTEST_SKIP() << "POSIX device";
  SetTwoDiskImage();
  RunOptions full;
  full.stdout_path = "/dev/full";
  const RunResult result = RunOnImage({}, full);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err,
            Lines({"dskcut: standard output: the listing could not be written: No space left on "
                   "device"}));
  EXPECT_EQ(WorkTree().size(), 5u);  // the files are written all the same
}

TEST_F(DskcutTest, FileThatHoldsNoDiskIsReported) {
  for (size_t size : {0, 687}) {
    SetImage(Bytes(size, 0xFF));
    const RunResult result = RunOnImage();
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              Lines({"dskcut: " + image_path() + ": holds no disk: it is " + std::to_string(size) +
                     " bytes long, shorter than a disk header"}));
    EXPECT_TRUE(WorkTree().empty());
  }
}

TEST_F(DskcutTest, TheImageIsNeverOverwrittenWhateverNameLeadsToIt) {
  first.AddFile("GAME", "DAT", PatternBytes(100, 1));
  first.AddFile("LINK", "DAT", PatternBytes(100, 2));
  first.AddFile("HARD", "DAT", PatternBytes(100, 3));
  first.AddFile("OTHER", "TXT", PatternBytes(100, 4));
  const Bytes game = first.ToDisk("GAME").Build();
  const std::string in_work = work() + "/GAME.DAT";
  WriteFile(in_work, game);
  const bool links = !UnderLauncher();  // symbolic and hard links are made the POSIX way
  if (links) {
    ASSERT_EQ(symlink(in_work.c_str(), (work() + "/LINK.DAT").c_str()), 0);
    ASSERT_EQ(link(in_work.c_str(), (work() + "/HARD.DAT").c_str()), 0);
  }
  const RunResult result = Run({"GAME.DAT", "-d"});
  EXPECT_EQ(result.status, 2);
  std::vector<std::string> refused = {"dskcut: GAME.DAT: is the image being read; not overwritten"};
  if (links) {
    refused.push_back("dskcut: LINK.DAT: is the image being read; not overwritten");
    refused.push_back("dskcut: HARD.DAT: is the image being read; not overwritten");
  }
  EXPECT_EQ(result.err, Lines(refused));
  EXPECT_EQ(ReadFile(in_work), game);
  EXPECT_EQ(WorkTree().at("OTHER.TXT"), FileEntry(first.Expected(4)));
}

TEST_F(DskcutTest, DisksBeyondTheSixtyFourthAreReported) {
  first.AddFile("A", "", PatternBytes(10, 1));
  SetImage(Concatenate(std::vector<Bytes>(65, first.ToDisk("D", 3).Build())));
  const RunResult result = RunOnImage({"-d"});
  EXPECT_EQ(result.status, 2);
  std::vector<std::string> expected = {"dskcut: " + image_path() +
                                       ": holds more than 64 disks; the disks after the 64th were "
                                       "not read"};
  for (int disk = 1; disk < 64; ++disk) {
    char line[128];
    snprintf(line, sizeof line,
             "dskcut: A: replaced by the file of the same name on disk %03d (-d puts every disk "
             "in one folder)",
             disk);
    expected.push_back(line);
  }
  EXPECT_EQ(result.err, Lines(expected));
  EXPECT_EQ(WorkTree(), (Tree{{"A", FileEntry(first.Expected(1))}}));
}

TEST_F(DskcutTest, HelpAndVersionAnswerOnStandardOutput) {
  RunResult result = Run({"--help"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(
      result.out.rfind("Usage: dskcut d88file [-d] [-2] [-l] [-u] [-f] [-C DIR]" + LineEnd(), 0),
      0u);
  EXPECT_NE(result.out.find("Exit status"), std::string::npos);
  result = Run({"--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, Lines({"dskcut " PROJECT_VERSION}));
  EXPECT_TRUE(WorkTree().empty());
}

TEST_F(DskcutTest, ListOnlyPrintsTheSameListingAndCreatesNothing) {
  SetTwoDiskImage();
  first.SetEntry(3, "FAR", "", 90, 0, 1, 0);
  SetImage(Concatenate({first.ToDisk("FIRST DISK").Build(), second.ToDisk("SECOND").Build()}));
  const RunResult listed = RunOnImage({"-l", "-C", "never"});
  EXPECT_TRUE(WorkTree().empty());
  const RunResult written = RunOnImage();
  EXPECT_EQ(listed.out, written.out);
  EXPECT_EQ(listed.err, written.err);  // the entry outside the image, reported both times
  EXPECT_EQ(listed.status, 2);
  EXPECT_EQ(WorkTree().size(), 5u);
  // Writing problems are not a listing's: a read-only directory changes nothing with -l.
  if (!UnderLauncher()) {
    RunOptions nobody;
    nobody.as_nobody = true;
    EXPECT_EQ(RunOnImage({"-l"}, nobody).err, written.err);
  }
}

TEST_F(DskcutTest, OutputDirectoryIsCreatedOrReusedAndTheImageFoundFromTheStart) {
  SetTwoDiskImage();
  RunResult result = Run({"../image.d88", "-C", "out/new"});  // relative to where it started
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  Tree expected = {{"out", "dir"},
                   {"out/new", "dir"},
                   {"out/new/000", "dir"},
                   {"out/new/001", "dir"},
                   {"out/new/000/HELLO.TXT", FileEntry(first.Expected(1))},
                   {"out/new/000/DATA.BIN", FileEntry(first.Expected(2))},
                   {"out/new/001/HELLO.TXT", FileEntry(second.Expected(1))}};
  EXPECT_EQ(WorkTree(), expected);
  EXPECT_EQ(Run({"../image.d88", "-d", "-C", "out"}).status,
            2);  // an existing directory; HELLO.TXT twice
  expected["out/HELLO.TXT"] = FileEntry(second.Expected(1));
  expected["out/DATA.BIN"] = FileEntry(first.Expected(2));
  EXPECT_EQ(WorkTree(), expected);
  if (!UnderLauncher()) {
    WriteFile(work() + "/plain", Bytes{'x'});
    result = Run({"../image.d88", "-C", "plain"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              Lines({"dskcut: plain: cannot create or enter the directory: Not a directory"}));
  }
}

TEST_F(DskcutTest, Utf8NamesAreConvertedEscapedAndPaddedByDisplayWidth) {
  if (UnderLauncher()) GTEST_SKIP() << "the converter's view of unassigned codes differs";
  first.SetEntry(1, "\xB6\xC0\xB6\xC5", "", 2, 0, 1, 0);     // half-width katakana ｶﾀｶﾅ
  first.SetEntry(2, "\x95\x5C\x82\xA0", "TXT", 2, 0, 1, 0);  // 表あ: 0x5C as a second byte
  first.SetEntry(3, "A\x85\x40", "", 2, 0, 1, 0);            // 0x8540 is no character
  first.SetEntry(4, "A/B", "", 2, 0, 1, 0);
  SetImage(first.ToDisk("\x83\x66\x83\x42\x83\x58\x83\x4E").Build());  // ディスク
  const RunResult result = RunOnImage({"-d", "-u"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, Lines({"", "[\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF]",
                               "\xEF\xBD\xB6\xEF\xBE\x80\xEF\xBD\xB6\xEF\xBE\x85"
                               "         02 00 01 00",
                               "\xE8\xA1\xA8\xE3\x81\x82.TXT     02 00 01 00",
                               "A%85@        02 00 01 00", "A/B          02 00 01 00"}));
  EXPECT_EQ(result.err, Lines({"dskcut: A%85@: 1 byte is not Shift-JIS, written as %XX",
                               "dskcut: A/B: written as \"A_B\" to stay a plain file name"}));
  const Tree tree = WorkTree();
  EXPECT_EQ(tree.count("\xEF\xBD\xB6\xEF\xBE\x80\xEF\xBD\xB6\xEF\xBE\x85"), 1u);
  EXPECT_EQ(tree.count("\xE8\xA1\xA8\xE3\x81\x82.TXT"), 1u);
  EXPECT_EQ(tree.count("A%85@"), 1u);
  EXPECT_EQ(tree.count("A_B"), 1u);
}

TEST_F(DskcutTest, ControlBytesInNamesAreShownSafely) {
  if (UnderLauncher()) GTEST_SKIP() << "needs a POSIX pseudo-terminal";
  first.SetEntry(1, "\x1b[31m", "", 90, 0, 1, 0);  // an escape sequence, outside the image
  SetImage(first.ToDisk("D\nE").Build());
  const std::string line = "\x1b[31m        5a 00 01 00";
  const std::string diagnostic =
      "dskcut: \\x1b[31m: data starts at offset 460800, outside the 409600-byte track image; no "
      "file written";
  RunResult result = RunOnImage({"-d"});
  EXPECT_EQ(result.out, Lines({"", "[D\nE]", line}));  // to a pipe or file: the bytes as they are
  EXPECT_EQ(result.err, Lines({diagnostic}));
  RunOptions terminal;
  terminal.stdout_terminal = true;
  result = RunOnImage({"-d"}, terminal);
  EXPECT_EQ(result.out, Lines({"", "[D?E]", "?[31m        5a 00 01 00"}));
  EXPECT_EQ(result.err, Lines({diagnostic}));
}

TEST_F(DskcutTest, ImagesFromAPipeOrStandardInputAreExtractedLikeTheFile) {
  if (UnderLauncher()) GTEST_SKIP() << "standard input through wine";
  SetTwoDiskImage();
  const RunResult from_file = RunOnImage({"-d"});
  const Tree tree = WorkTree();
  for (const char* path : {"-", "/dev/stdin"}) {
    std::filesystem::remove_all(work());
    mkdir(work().c_str(), 0755);
    RunOptions piped;
    piped.stdin_pipe = true;
    piped.stdin_bytes.assign(image.begin(), image.end());
    const RunResult result = Run({path, "-d"}, piped);
    EXPECT_EQ(result.status, from_file.status) << path;
    EXPECT_EQ(result.out, from_file.out) << path;
    EXPECT_EQ(result.err, from_file.err) << path;
    EXPECT_EQ(WorkTree(), tree) << path;
  }
}

}  // namespace
