// End-to-end tests of dskget: FAT12 against mtools on the same sectors, the BASIC file systems
// byte for byte with their names and dates, damage and name clashes, list-only and raw names,
// and the real disks.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>

#include "diskimage/d88_image.h"
#include "diskimage/disk_map.h"
#include "tests/container_builder.h"
#include "tests/cpm_mz_builder.h"
#include "tests/e2e_fixture.h"
#include "tests/fat12_image.h"
#include "tests/file_system_builder.h"
#include "tests/real_disks.h"

namespace {

class DskgetTest : public E2eTest {
 protected:
  DskgetTest() : E2eTest("dskget") {}
  void SetUp() override {
    E2eTest::SetUp();
    setenv("TZ", "UTC", 1);  // dates are read as local time; mtools sets them as UTC
    tzset();
  }
  // The modification time of `path`, or -1.
  static long long ModificationTime(const std::string& path) {
    struct stat s;
    return stat(path.c_str(), &s) == 0 ? static_cast<long long>(s.st_mtime) : -1;
  }
};

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The logical sectors of the first disk of the 2D image at `path` (40 x 2 x 16 x 256, found by
// ID), as a raw dump holds them.
Bytes RawTwoD(const std::string& path) {
  const auto image = std::make_unique<diskimage::D88Image>();
  const auto map = std::make_unique<diskimage::DiskMap>();
  Bytes raw(40 * 2 * 16 * 256);
  if (!image->Open(path.c_str()) || !image->SelectDisk(0)) return raw;
  map->Load(*image);
  const diskimage::SectorNumbering numbering = {256, 16, 2, 1, 1};
  for (int logical = 0; logical < 40 * 2 * 16; ++logical) {
    diskimage::ReadLogicalSector(*map, numbering, logical, &raw[logical * 256]);
  }
  return raw;
}

TEST_F(DskgetTest, Fat12FilesAreThoseMtoolsTakesFromTheSameSectors) {
  if (system("command -v mcopy >/dev/null && command -v mkfs.fat >/dev/null") != 0) {
    GTEST_SKIP() << "mtools or dosfstools missing";
  }
  const std::string raw = root / "raw.img";
  const std::string a = root / "a", big = root / "big";
  WriteFile(a, Text("hello\r\n"));
  WriteFile(big, PatternBytes(5000, 1));
  const std::string commands =
      "set -e; export MTOOLS_SKIP_CHECK=1; cd " + root.path() + "; mkfs.fat -C " + raw +
      " -S 1024 -s 1 -f 2 -r 192 -F 12 -g 2/8 -M 0xFE 1232 >/dev/null"
      "; M='-i " +
      raw +
      "'"
      "; mcopy $M a ::README.TXT; mcopy $M big ::B.BIN; mcopy $M a ::C.TXT"
      "; mdel $M ::B.BIN; mcopy $M big '::Long File Name.bin'"  // fragmented around C.TXT
      "; mcopy $M a ::lower.txt; mmd $M ::SUB; mmd $M ::SUB/DEEP; mcopy $M a ::SUB/DEEP/in.txt"
      "; head -c 1024 big > one; mcopy $M one ::ONE.BIN; : > empty; mcopy $M empty ::EMPTY"
      "; mcopy $M a ::HIDDEN.SYS; mattrib $M +h +s +r ::HIDDEN.SYS"
      "; mkdir ref; mcopy -s -m $M '::*' ref";
  ASSERT_EQ(system(commands.c_str()), 0);
  SetImage(SectorsToDisk(ReadFile(raw), {77, 2, 8, 3}).Name("DOS").Media(0x20).Build());
  const RunResult result = RunOnImage({"-C", root / "out"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const Tree ours = Snapshot(root / "out/000"), theirs = Snapshot(root / "ref");
  EXPECT_EQ(ours, theirs);
  EXPECT_EQ(ours.count("lower.txt"), 1u);
  EXPECT_EQ(ours.count("Long File Name.bin"), 1u);
  for (const auto& [path, bytes] : theirs) {
    if (bytes.rfind("file:", 0) != 0) continue;
    EXPECT_EQ(ModificationTime(root / "out/000/" + path), ModificationTime(root / "ref/" + path))
        << path;
  }
}

// Only a subdirectory's first two entries are its "." and ".."; a root entry renamed ".." or
// "..\..\X" is a file that mdir lists, and an entry of impossible attributes is said, not lost.
TEST_F(DskgetTest, Fat12NamesBeginningWithAPointAreFilesAndUnreadEntriesAreSaid) {
  if (system("command -v mcopy >/dev/null && command -v mkfs.fat >/dev/null") != 0) {
    GTEST_SKIP() << "mtools or dosfstools missing";
  }
  const std::string raw = root / "raw.img";
  WriteFile(root / "a", Text("hello\r\n"));
  const std::string mtools =
      "set -e; export MTOOLS_SKIP_CHECK=1; cd " + root.path() + "; M='-i " + raw + "'; ";
  ASSERT_EQ(system((mtools + "mkfs.fat -C " + raw +
                    " -S 1024 -s 1 -f 2 -r 192 -F 12 -g 2/8 -M 0xFE 1232 >/dev/null"
                    "; for f in A B C D; do mcopy $M a ::$f.TXT; done"
                    "; mmd $M ::SUB; mcopy $M a ::SUB/IN.TXT")
                       .c_str()),
            0);
  Bytes disk = ReadFile(raw);
  const size_t root_start = 1024 * (1 + 2 * (disk[0x16] | disk[0x17] << 8));
  const auto entry = [&](const std::string& name) {
    size_t e = root_start;
    while (e < root_start + 192 * 32 && memcmp(&disk[e], name.data(), 11) != 0) e += 32;
    return &disk.at(e);
  };
  const auto rename = [&](const std::string& from, const std::string& to) {
    memcpy(entry(from), to.data(), 11);
  };
  rename("B       TXT", "..         ");
  rename("C       TXT", "..\\..\\X    ");
  WriteFile(raw, disk);
  FILE* mdir = popen((mtools + "mdir $M :: | awk '/ files /{print $1; exit}'").c_str(), "r");
  ASSERT_NE(mdir, nullptr);
  int listed = 0;
  EXPECT_EQ(fscanf(mdir, "%d", &listed), 1);
  pclose(mdir);
  EXPECT_EQ(listed, 5);                               // A.TXT, .., ..\..\X, D.TXT, SUB
  entry("D       TXT")[11] = 0xC0;                    // an attribute byte that no FAT entry holds
  uint8_t* month_zero = entry("A       TXT") + 0x16;  // 2031-00-03 00:00: listed so, not set
  month_zero[0] = month_zero[1] = 0x00, month_zero[2] = 0x03, month_zero[3] = 0x66;
  SetImage(SectorsToDisk(disk, {77, 2, 8, 3}).Name("DOS").Media(0x20).Build());

  const RunResult result = RunOnImage({"-C", root / "out"});
  EXPECT_EQ(result.status, 2);
  const std::string backslashes = UnderLauncher() ? ".._.._X" : "..\\..\\X";
  std::vector<std::string> said = {
      "dskget: warning: 000/A.TXT: its date 2031-00-03 00:00:00 is no day of the calendar; not "
      "set",
      "dskget: 000/..: written as \"__\" to stay a plain file name",
      "dskget: 000/(root): 1 directory entry not read: no file or folder of fat12 holds its "
      "bytes"};
  if (UnderLauncher()) {
    said.insert(said.begin() + 2,
                "dskget: 000/..\\..\\X: written as \".._.._X\" to stay a plain file name");
  }
  EXPECT_EQ(result.err, Lines(said));
  EXPECT_NE(result.out.find("2031-00-03 00:00  A.TXT"), std::string::npos) << result.out;
  EXPECT_GE(ModificationTime(root / "out/000/A.TXT"), ModificationTime(root / "out/000/__"));
  const Tree tree = Snapshot(root / "out");
  const std::string hello = FileEntry(Text("hello\r\n"));
  EXPECT_EQ(tree, (Tree{{"000", "dir"},
                        {"000/A.TXT", hello},
                        {"000/__", hello},
                        {"000/" + backslashes, hello},
                        {"000/SUB", "dir"},
                        {"000/SUB/IN.TXT", hello}}));

  RunOptions in_work;
  in_work.cwd = work();
  const RunResult info = RunProgram(ProgramCommand("dskinfo"), {image_path(), "--json"}, in_work);
  EXPECT_NE(info.out.find("\"files\": 4, \"directories\": 1"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("\"invalid_entries\": 1"), std::string::npos) << info.out;
}

TEST_F(DskgetTest, BasicFileSystemsComeOutByteForByteWithNamesAndDates) {
  BasicDisk hu(BasicDisk::kHu_2D);
  const Bytes big = PatternBytes(4096 + 100, 2);
  hu.AddFile("\x83\x65\x83\x58\x83\x67", "BIN", 0x01, big, {9, 3});  // テスト, fragmented
  hu.AddFile("MY FILE", "BAS", 0x02, Bytes(4096, 7));  // exactly a cluster, a space kept
  hu.AddFile("ONE", "", 0x01, Bytes(1, 1));
  hu.AddFile("A/B\x01", "", 0x04, Text("text\x1A rest"), {}, -1, 0);  // escapes; ASCII cut
  hu.AddFile("\xFFX", "", 0x01, Bytes(3, 3));  // a byte that is no Shift-JIS character
  const int folder = hu.AddFolder("\x83\x74\x83\x48\x83\x8b\x83\x5f");  // フォルダ
  hu.AddFile("inner", "txt", 0x01, Bytes(2, 2), {}, folder);
  BasicDisk n88(BasicDisk::kN88_2DD);
  n88.AddFile("PROG", "BAS", 0x80, PatternBytes(300, 3));
  BasicDisk fb(BasicDisk::kFBasic);
  fb.AddFile(std::string("AB\0C", 4), "", 0x82, Text("ascii\x1A"));
  SetImage(
      Concatenate({hu.ToDisk("HU").Build(), n88.ToDisk("N88").Build(), fb.ToDisk("FB").Build()}));
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  Bytes prog_sectors = PatternBytes(300, 3);  // the two sectors its end mark says are used
  prog_sectors.resize(512, 0);
  EXPECT_EQ(WorkTree(), (Tree{{"000", "dir"},
                              {"000/テスト.BIN", FileEntry(big)},
                              {"000/MY FILE.BAS", FileEntry(Bytes(4096, 7))},
                              {"000/ONE", FileEntry(Bytes(1, 1))},
                              {"000/A%2FB%01", FileEntry(Text("text"))},
                              {"000/%FFX", FileEntry(Bytes(3, 3))},
                              {"000/フォルダ", "dir"},
                              {"000/フォルダ/inner.txt", FileEntry(Bytes(2, 2))},
                              {"001", "dir"},
                              {"001/PROG.BAS", FileEntry(prog_sectors)},
                              {"002", "dir"},
                              {"002/AB%00C", FileEntry(Text("ascii"))}}));
  struct tm date = {};
  date.tm_year = 86;
  date.tm_mon = 5;
  date.tm_mday = 15;
  date.tm_hour = 12;
  date.tm_min = 34;
  EXPECT_EQ(ModificationTime(work() + "/000/ONE"), static_cast<long long>(timegm(&date)));
  EXPECT_NE(result.out.find(Lines({"", "[HU] hu-basic (2D) -> 000",
                                   "      4196  bin     1986-06-15 12:34  テスト.BIN"})),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("         -  dir     1999-12-31 23:59  フォルダ/" + LineEnd() +
                            "         2  bin     1986-06-15 12:34  フォルダ/inner.txt"),
            std::string::npos)
      << result.out;

  // -l lists the same and writes nothing; -r keeps the disk's bytes in the names.
  TempDir other;
  RunOptions in_other;
  const RunResult listed = Run({image_path(), "-l", "-C", other.path()});
  EXPECT_EQ(listed.out, result.out);
  EXPECT_TRUE(Snapshot(other.path()).empty());
  Run({image_path(), "-r", "-C", other.path()});
  // Windows takes the bytes as code page 932 and stores the name in UTF-16.
  EXPECT_EQ(Snapshot(other.path())
                .count(UnderLauncher() ? "000/テスト.BIN" : "000/\x83\x65\x83\x58\x83\x67.BIN"),
            1u);
}

TEST_F(DskgetTest, JapaneseNamesOfEveryFileSystemComeOutInUnicode) {
  Fat12Image fat;
  fat.SetRoot(0, "\x83\x51\x81\x5B\x83\x80  TXT", 0x20, 2, 1);  // ゲーム.TXT, a short name
  fat.SetFat(2, 0xFFF);
  // 日本語.txt as a long name, before the short entry NIHONG~1.TXT.
  const std::string short_name = "NIHONG~1TXT";
  unsigned sum = 0;
  for (unsigned char c : short_name) sum = ((((sum & 1) << 7) | (sum >> 1)) + c) & 0xFF;
  uint8_t* l = fat.Root(1);
  memset(l, 0xFF, 32);
  const uint16_t chars[] = {0x65E5, 0x672C, 0x8A9E, '.', 't', 'x', 't', 0};
  const int offsets[] = {1, 3, 5, 7, 9, 14, 16, 18};
  for (int i = 0; i < 8; ++i) {
    l[offsets[i]] = static_cast<uint8_t>(chars[i]);
    l[offsets[i] + 1] = static_cast<uint8_t>(chars[i] >> 8);
  }
  l[0] = 0x41;
  l[11] = 0x0F;
  l[12] = l[26] = l[27] = 0;
  l[13] = static_cast<uint8_t>(sum);
  fat.SetRoot(2, short_name, 0x20, 3, 1);
  fat.SetFat(3, 0xFFF);
  BasicDisk n88(BasicDisk::kN88_2D), fb(BasicDisk::kFBasic);
  n88.AddFile("\xC3\xBD\xC4", "", 0x01, Bytes(1, 1));             // ﾃｽﾄ, half-width katakana
  fb.AddFile("\x83\x66\x81\x5B\x83\x5E", "", 0x02, Bytes(1, 1));  // データ
  SetImage(Concatenate({SectorsToDisk(fat.raw, {77, 2, 8, 3}).Build(), n88.ToDisk("N").Build(),
                        fb.ToDisk("F").Build()}));
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 0) << result.err;
  const Tree tree = WorkTree();
  for (const char* name : {"000/ゲーム.TXT", "000/日本語.txt", "001/ﾃｽﾄ", "002/データ"}) {
    EXPECT_EQ(tree.count(name), 1u) << name << "\n" << result.out;
  }
}

TEST_F(DskgetTest, DamageClashesAndOtherDisksAreReportedAndNothingIsOverwritten) {
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("SAME", "", 0x01, Bytes(10, 1));
  hu.AddFile("same", "", 0x01, Bytes(10, 2));  // the same name on Windows and macOS
  hu.AddFile("LOOP", "", 0x01, PatternBytes(5000, 3));
  hu.SetTableEntry(5, 4);  // LOOP: 4 -> 5 -> 4; its recorded 5000 bytes are read before
  BasicDisk second(BasicDisk::kHu_2D);
  second.AddFile("SAME", "", 0x01, Bytes(10, 3));
  DskcutLayout cut;
  cut.AddFile("A", "B", Bytes(10, 1));
  SetImage(
      Concatenate({hu.ToDisk("1").Build(), second.ToDisk("2").Build(), cut.ToDisk("3").Build()}));
  const RunResult result = RunOnImage({"-d"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err,
            Lines({"dskget: same: an earlier entry has this name; written as \"same~2\"",
                   "dskget: LOOP: damaged: its chain loops; 5000 bytes written",
                   "dskget: SAME: an earlier entry has this name; written as \"SAME~3\""}));
  const Tree tree = WorkTree();
  EXPECT_EQ(tree.at("SAME"), FileEntry(Bytes(10, 1)));
  EXPECT_EQ(tree.at("same~2"), FileEntry(Bytes(10, 2)));
  EXPECT_EQ(tree.at("SAME~3"), FileEntry(Bytes(10, 3)));
  EXPECT_EQ(tree.at("LOOP"), FileEntry(PatternBytes(5000, 3)));
  EXPECT_EQ(tree.at("A.B"), FileEntry(cut.Expected(1)));
}

// The game layouts' disks come out as dskcut and dskpull (with -u) write them: the same names,
// sizes and bytes, tracks numbered from their first sector's upper bits; a sector that is not on
// the disk is zeros and said.
TEST_F(DskgetTest, GameLayoutDisksComeOutAsTheirProgramsWriteThem) {
  DskcutLayout cut;
  cut.AddFile("\x83\x51\x81\x5B", "BIN", PatternBytes(7000, 1));  // ゲー, across two tracks
  cut.AddFile("NOEXT", "", PatternBytes(100, 2));
  cut.sector_base[2] = 0x30;
  cut.sector_base[3] = 0x50;
  DskpullLayout pull;
  pull.AddFile("READ", PatternBytes(700, 3));
  pull.AddFile("DATA", PatternBytes(6000, 4));
  // Entries the programs read though no tool writes them: a start position that is odd, a start
  // block past the track's end, a last-block flag that is neither 0 nor 80h.
  pull.SetEntry(pull.next_entry++, "ODD", 4, 3, 100);
  cut.SetEntry(cut.next_entry++, "FAR", "", 2, 25, 1, 0x01);
  const Bytes cut_image = cut.ToDisk("CUT").Build(), pull_image = pull.ToDisk("PULL").Build();
  SetImage(Concatenate({cut_image, pull_image}));
  RunResult result = RunOnImage({"-C", root / "all"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find(Lines({"[CUT] dskcut -> 000"})), std::string::npos) << result.out;
  WriteFile(root / "cut.d88", cut_image);
  WriteFile(root / "pull.d88", pull_image);
  RunOptions options;
  options.cwd = work();
  ASSERT_EQ(
      RunProgram(ProgramCommand("dskcut"), {root / "cut.d88", "-u", "-C", root / "cut"}, options)
          .status,
      0);
  ASSERT_EQ(
      RunProgram(ProgramCommand("dskpull"), {root / "pull.d88", "-u", "-C", root / "pull"}, options)
          .status,
      0);
  const Tree all = Snapshot(root / "all");
  for (const auto& [path, entry] : Snapshot(root / "cut")) EXPECT_EQ(all.at(path), entry);
  for (const auto& [path, entry] : Snapshot(root / "pull")) EXPECT_EQ(all.at("001/" + path), entry);
  EXPECT_EQ(all.size(), 2u + 3u + 3u);  // the two disks' folders and their files
  // Sector 6 of track 4 lost: the second file's bytes there are zeros.
  DiskBuilder damaged = pull.ToDisk("PULL");
  std::vector<SectorRecord> track = damaged.Tracks().at(4);
  track.erase(track.begin() + 5);
  SetImage(damaged.ReplaceTrack(4, track).Build());
  result = RunOnImage({"-C", root / "damaged"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("000/DATA: damaged: 5 sectors missing (zeros in their place); 6000 "
                            "bytes written"),
            std::string::npos)
      << result.err;
  // Sector 1 lost: the track is not read past it, as the program reads it.
  track.erase(track.begin());
  SetImage(damaged.ReplaceTrack(4, track).Build());
  result = RunOnImage({"-l"});
  EXPECT_NE(result.err.find("000/DATA: damaged: 8 sectors missing"), std::string::npos)
      << result.err;
}

// An X68000 disk: 68000 boot code over an MS-DOS parameter block, names of up to 18 + 3
// characters whose 9th on lie at 0x0C (where FAT12 keeps its lower-case flags), Shift-JIS too.
TEST_F(DskgetTest, Human68kNamesOf18And3CharactersComeOutWhole) {
  Fat12Image fat;
  fat.raw[0] = 0x60;  // BRA
  const auto name18 = [&](uint8_t* entry, const std::string& rest) {
    memcpy(entry + 0x0C, rest.data(), rest.size());
  };
  fat.SetRoot(0, "LONGFILETXT", 0x20, 2, 5);
  name18(fat.Root(0), "NAME01");
  fat.SetRoot(1,
              "\x83\x51\x81\x5B\x83\x80\x83\x66"
              "DAT",
              0x20, 3, 3);                  // ゲームデ
  name18(fat.Root(1), "\x81\x5B\x83\x5E");  // ータ
  fat.SetRoot(2, "SAVEDATA   ", 0x10, 4, 0);
  name18(fat.Root(2), "_FOLDER1");
  fat.SetFat(2, 0xFFF);
  fat.SetFat(3, 0xFFF);
  fat.SetFat(4, 0xFFF);
  fat.SetFat(5, 0xFFF);
  memcpy(fat.Cluster(2), "hello", 5);
  memcpy(fat.Cluster(3), "abc", 3);
  memset(fat.Cluster(4), 0, 96);
  memcpy(fat.Cluster(4), ".          \x10", 12);
  memcpy(fat.Cluster(4) + 32, "..         \x10", 12);
  memcpy(fat.Cluster(4) + 64, "INNER   BIN\x20", 12);
  fat.Cluster(4)[64 + 0x18] = 0x21;  // 1980-01-01
  fat.Cluster(4)[64 + 0x1A] = 5;
  fat.Cluster(4)[64 + 0x1C] = 2;
  memcpy(fat.Cluster(5), "xy", 2);
  SetImage(SectorsToDisk(fat.raw, {77, 2, 8, 3}).Name("X68000").Media(0x20).Build());
  const RunResult result = RunOnImage({"-C", root / "out"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("[X68000] human68k -> 000"), std::string::npos) << result.out;
  EXPECT_EQ(Snapshot(root / "out"),
            (Tree{{"000", "dir"},
                  {"000/LONGFILENAME01.TXT", FileEntry(Text("hello"))},
                  {"000/ゲームデータ.DAT", FileEntry(Text("abc"))},
                  {"000/SAVEDATA_FOLDER1", "dir"},
                  {"000/SAVEDATA_FOLDER1/INNER.BIN", FileEntry(Text("xy"))}}));
  // The same disk in every other container gives the same files.
  const DiskShape shape = {77, 2, 8, 3};
  const DiskBuilder disk = SectorsToDisk(fat.raw, shape);
  for (const auto& [name, bytes] : {std::pair<std::string, Bytes>{"game.xdf", RawDump(disk, shape)},
                                    {"game.fdi", FdiImage(disk, shape)},
                                    {"game.dim", DimImage(disk, 0x00, shape)},
                                    {"game.dcp", DcpImage(disk, 0x01, shape, 161)},
                                    {"game.nfd", NfdR0Image(disk)},
                                    {"game.imd", ImdImage(disk, true)}}) {
    WriteFile(root / name, bytes);
    const RunResult other = Run({root / name, "-C", root / (name + ".out")});
    EXPECT_EQ(other.status, 0) << name << ": " << other.err;
    EXPECT_NE(other.out.find("[] human68k -> 000"), std::string::npos) << name << ": " << other.out;
    EXPECT_EQ(Snapshot(root / (name + ".out")), Snapshot(root / "out")) << name;
  }
}

// The LSX-Dodgers system disk of the X1 has no parameter block (a 256-byte boot record holds
// its place): read by the layout its FAT's media byte names, it is what mtools takes from the
// same sectors once a 360 KB parameter block is written in.
TEST_F(DskgetTest, AFat12DiskWithoutAParameterBlockIsReadByItsMediaByte) {
  REAL_DISK_OR_SKIP(lsx, "ldsys_lsx_dodgers_x1.d88");
  if (system("command -v mcopy >/dev/null && command -v python3 >/dev/null") != 0) {
    GTEST_SKIP() << "mtools or python3 missing";
  }
  const std::string raw = root / "lsx.img";
  const std::string to_raw =
      "python3 -c 'import struct,sys\n"
      "d = open(sys.argv[1], \"rb\").read()\n"
      "offsets = struct.unpack_from(\"<164I\", d, 0x20)\n"
      "raw = bytearray()\n"
      "for t in range(80):\n"
      "  o, sectors = offsets[t], {}\n"
      "  for i in range(struct.unpack_from(\"<H\", d, o + 4)[0] if o else 0):\n"
      "    size = struct.unpack_from(\"<H\", d, o + 14)[0]\n"
      "    sectors[d[o + 2]] = d[o + 16:o + 16 + size]\n"
      "    o += 16 + size\n"
      "  for r in range(1, 10): raw += sectors.get(r, b\"\")[:512].ljust(512, b\"\\0\")\n"
      "raw[0:3] = b\"\\xeb\\x3c\\x90\"\n"
      "raw[11:28] = struct.pack(\"<HBHBHHBHHH\", 512, 2, 1, 2, 112, 720, 0xFD, 2, 9, 2)\n"
      "open(sys.argv[2], \"wb\").write(raw)' " +
      lsx + " " + raw + " && mkdir " + root / "ref" + " && MTOOLS_SKIP_CHECK=1 mcopy -s -m -i " +
      raw + " '::*' " + root / "ref";
  ASSERT_EQ(system(to_raw.c_str()), 0);
  const RunResult result = Run({lsx, "-C", root / "out"});
  EXPECT_EQ(result.status, 0) << result.err;
  const Tree ours = Snapshot(root / "out/000"), theirs = Snapshot(root / "ref");
  EXPECT_EQ(ours.size(), 34u);
  EXPECT_EQ(ours, theirs);
  for (const auto& [path, bytes] : theirs) {
    EXPECT_EQ(ModificationTime(root / "out/000/" + path), ModificationTime(root / "ref/" + path))
        << path;
  }
}

// One flipped table byte breaks one chain, not the disk: it keeps its name, the other file comes
// out whole and the broken one with its first cluster.
// CP/M files of users 0, 1 and 15 (an empty one, one of exactly a block, one that needs two
// entries, read-only and system ones, a deleted one) come out as cpmtools copies them from the
// same logical sectors (it writes lower-case names).
TEST_F(DskgetTest, CpmFilesAreThoseCpmtoolsTakesFromTheSameSectors) {
  if (system("command -v cpmcp >/dev/null") != 0) GTEST_SKIP() << "cpmtools missing";
  CpmDisk cpm;
  cpm.AddFile(0, "EMPTY", "", {});
  const int one = cpm.AddFile(0, "ONE", "BLK", PatternBytes(2048, 1));
  cpm.AddFile(0, "BIG", "DAT", PatternBytes(40000, 2));
  const int text = cpm.AddFile(0, "TEXT", "TXT", Text("10 PRINT\r\n"));
  cpm.AddFile(1, "U1FILE", "DOC", PatternBytes(300, 3));
  cpm.AddFile(15, "SHORT", "TXT", Text("fifteen"));
  cpm.Entry(cpm.AddFile(0, "GONE", "", PatternBytes(10, 4)))[0] = 0xE5;
  cpm.Entry(one)[9] |= 0x80;    // read-only
  cpm.Entry(text)[10] |= 0x80;  // system
  SetImage(cpm.ToDisk().Build());
  const RunResult result = RunOnImage({"-C", root / "out"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("] cpm (X1turbo 2D) -> 000"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("2048  r--     -                 ONE.BLK"), std::string::npos);
  WriteFile(root / "cpm.img", cpm.Logical());
  WriteFile(root / "diskdefs",
            Text("diskdef x1turbo2d\n seclen 256\n tracks 80\n sectrk 16\n blocksize 2048\n"
                 " maxdir 64\n skew 0\n boottrk 4\n os 2.2\nend\n"));
  const std::string commands = "set -e; cd " + root.path() +
                               "; mkdir -p ref/1 ref/15; cpmcp -f x1turbo2d cpm.img '0:*' ref/"
                               "; cpmcp -f x1turbo2d cpm.img '1:*' ref/1/"
                               "; cpmcp -f x1turbo2d cpm.img '15:*' ref/15/";
  ASSERT_EQ(system(commands.c_str()), 0);
  Tree ours;
  for (const auto& [path, bytes] : Snapshot(root / "out/000")) {
    std::string lower = path;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    ours[lower] = bytes;
  }
  EXPECT_EQ(ours, Snapshot(root / "ref"));
  EXPECT_EQ(ours.size(), 8u);  // six files and two folders; the deleted one is not among them
}

// Sharp MZ disks, 2D and 2DD: a 17-character name, a half-width katakana one, a data file
// listed but not read; damage (a file before the data area, two files on one block, a lost
// sector) said, every other file written.
TEST_F(DskgetTest, MzDisksComeOutAsTheirDirectorySays) {
  MzDisk two_d(false);
  two_d.AddFile(1, "ABCDEFGHIJKLMNOPQ", PatternBytes(1000, 1));
  two_d.AddFile(2, "\xB1\xB2\xB3 1", PatternBytes(300, 2));  // ｱｲｳ 1
  two_d.AddFile(3, "DATA", PatternBytes(256, 3));
  SetImage(two_d.ToDisk().Build());
  RunResult result = RunOnImage({"-C", root / "2d"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.out.find("] mz-basic (2D) -> 000"), std::string::npos) << result.out;
  EXPECT_EQ(result.err, Lines({"dskget: 000/DATA: damaged: a data file whose storage is not "
                               "documented: not read; 0 bytes written"}));
  EXPECT_EQ(Snapshot(root / "2d"),
            (Tree{{"000", "dir"},
                  {"000/ABCDEFGHIJKLMNOPQ", FileEntry(PatternBytes(1000, 1))},
                  {"000/ｱｲｳ 1", FileEntry(PatternBytes(300, 2))},
                  {"000/DATA", FileEntry({})}}));
  MzDisk two_dd(true);
  const int brown = two_dd.AddFile(2, "brown", PatternBytes(12486, 4));
  two_dd.AddFile(2, "trans", PatternBytes(11984, 5));
  const int early = two_dd.AddFile(1, "early", PatternBytes(100, 6));
  two_dd.Entry(early)[0x1E] = 20;  // inside the directory: before the data area
  const int twin = two_dd.AddFile(1, "twin", PatternBytes(100, 7));
  memcpy(two_dd.Entry(twin) + 0x1E, two_dd.Entry(brown) + 0x1E, 2);
  DiskBuilder disk = two_dd.ToDisk();
  // trans's third sector (logical 100: track 6, cylinder 3 head 1, R 5) is lost.
  std::vector<SectorRecord> track = disk.Tracks().at(7);
  track.erase(track.begin() + 4);
  disk.ReplaceTrack(7, track);
  SetImage(disk.Build());
  result = RunOnImage({"-C", root / "2dd"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.out.find("] mz-basic (2DD) -> 000"), std::string::npos) << result.out;
  EXPECT_EQ(result.err,
            Lines({"dskget: warning: 000: the bitmap and the directory disagree on 2 blocks",
                   "dskget: 000/trans: damaged: 1 sector missing (zeros in their place); 11984 "
                   "bytes written",
                   "dskget: 000/early: damaged: a block it needs lies outside the data area "
                   "(zeros in its place); 100 bytes written",
                   "dskget: 000/twin: damaged: it shares clusters with another file or folder; "
                   "100 bytes written"}));
  const Tree tree = Snapshot(root / "2dd");
  EXPECT_EQ(tree.at("000/brown"), FileEntry(PatternBytes(12486, 4)));
  const Bytes brown_bytes = PatternBytes(12486, 4);
  EXPECT_EQ(tree.at("000/twin"), FileEntry(Bytes(brown_bytes.begin(), brown_bytes.begin() + 100)));
}

// CP/M damage of each kind is said and the file written with what could be read.
TEST_F(DskgetTest, CpmDamageIsSaidAndTheOtherFilesWritten) {
  CpmDisk cpm;
  cpm.AddFile(0, "GOOD", "TXT", PatternBytes(500, 1));
  const int hole = cpm.AddFile(0, "HOLE", "", PatternBytes(5000, 2));
  cpm.Entry(hole)[17] = 0;  // its second block: none
  const int big = cpm.AddFile(0, "GAP", "", PatternBytes(70000, 3));
  cpm.Entry(big + 1)[0] = 0xE5;  // its second entry of three lost
  const int twin = cpm.AddFile(0, "TWIN", "", PatternBytes(100, 4));
  cpm.Entry(twin)[16] = cpm.Entry(hole)[16];
  SetImage(cpm.ToDisk().Build());
  const RunResult result = RunOnImage({"-C", root / "out"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err,
            Lines({"dskget: 000/HOLE: damaged: a block it needs lies outside the data area "
                   "(zeros in its place); 5120 bytes written",
                   "dskget: 000/GAP: damaged: an entry of its extents is missing or recorded "
                   "twice; 70016 bytes written",
                   "dskget: 000/TWIN: damaged: it shares clusters with another file or folder; "
                   "128 bytes written"}));
  EXPECT_EQ(Snapshot(root / "out").at("000/GOOD.TXT").substr(5, 500),
            std::string(reinterpret_cast<const char*>(PatternBytes(500, 1).data()), 500));
}

// Several images: each in a folder of its own named after it (a second "game" becomes game~2),
// each listed under its path, every diagnostic about one beginning with its path; an image that
// cannot be opened is said and the run goes on.
TEST_F(DskgetTest, SeveralImagesGoIntoAFolderEachAndTheirDiagnosticsNameThem) {
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GOOD", "", 0x01, Bytes(300, 'G'));
  hu.SetTableEntry(hu.AddFile("BROKEN", "", 0x01, Bytes(2 * hu.ClusterBytes(), 'B'))[0], 0x60);
  mkdir((root / "a").c_str(), 0755);
  mkdir((root / "b").c_str(), 0755);
  const std::string a = root / "a/game.d88", b = root / "b/game.d88";
  const std::string missing = root / "missing.d88";
  WriteFile(a, hu.ToDisk("A").Build());
  CpmDisk cpm;
  cpm.AddFile(0, "WM", "COM", PatternBytes(3000, 1));
  WriteFile(b, RawDump(cpm.ToDisk(), {40, 2, 16, 1}));
  // A folder: its images at any depth, in name order; no link is followed, no other file read.
  mkdir((root / "games").c_str(), 0755);
  mkdir((root / "games/x1").c_str(), 0755);
  WriteFile(root / "games/x1/Z.D88", hu.ToDisk("Z").Build());
  WriteFile(root / "games/notes.txt", Text("not an image"));
  // (Under Windows' launcher a link is a folder like another.)
  if (!UnderLauncher()) {
    ASSERT_EQ(symlink((root / "a").c_str(), (root / "games/x1/link").c_str()), 0);
  }
  WriteFile(root / "games/x1/A.2d", RawDump(cpm.ToDisk(), {40, 2, 16, 1}));
  Bytes cut = hu.ToDisk("C").Build();
  cut.resize(100000);  // a D88 image cut short: said once, under its path
  WriteFile(root / "games/x1/cut.d88", cut);
  const RunResult result = Run({a, missing, b, root / "games", "-C", root / "out"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(
      result.err,
      Lines(
          {"dskget: " + a +
               ": 000/BROKEN: damaged: its chain leaves the disk, its recorded size (8192) " +
               "is larger than its chain; " + std::to_string(hu.ClusterBytes()) + " bytes written",
           "dskget: " + missing + ": cannot open the image: No such file or directory",
           "dskget: " + b + ": an earlier image has its folder's name; written as " +
               "\"game~2.d88\"",
           "dskget: " + root / "games/x1/Z.D88" +
               ": 000/BROKEN: damaged: its chain leaves the disk, its recorded size (8192) " +
               "is larger than its chain; " + std::to_string(hu.ClusterBytes()) + " bytes written",
           "dskget: " + root / "games/x1/cut.d88" +
               ": disk 0: its size field says 348848 bytes, 248848 more than the image holds (57 "
               "tracks missing); not read whole",
           "dskget: " + root / "games/x1/cut.d88" +
               ": 000/BROKEN: damaged: its chain leaves the disk, its recorded size (8192) " +
               "is larger than its chain; " + std::to_string(hu.ClusterBytes()) + " bytes written",
           "dskget: note: 1 file passed over as no disk image by its name (--all tries every "
           "file)"}));
  EXPECT_NE(result.out.find(Lines({a, "", "[A] hu-basic (2D) -> 000"})), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find(Lines({b, "", "[] cpm (X1turbo 2D) -> 000"})), std::string::npos);
  const Tree tree = Snapshot(root / "out");
  EXPECT_EQ(tree.at("game.d88/000/GOOD"), FileEntry(Bytes(300, 'G')));
  EXPECT_EQ(tree.at("game~2.d88/000/WM.COM").size(), 5u + 3072u);
  EXPECT_EQ(tree.count("missing.d88"), 0u);
  EXPECT_EQ(tree.at("games/x1/A.2d/000/WM.COM"), tree.at("game~2.d88/000/WM.COM"));
  EXPECT_EQ(tree.at("games/x1/Z.D88/000/GOOD"), FileEntry(Bytes(300, 'G')));
  EXPECT_LT(result.out.find(root / "games/x1/A.2d"), result.out.find(root / "games/x1/Z.D88"));
  EXPECT_EQ(tree.count("games/x1/link"), 0u);
  // Alone, an image that cannot be opened is said in dskget's own form only.
  EXPECT_EQ(Run({missing, "-l"}).err,
            Lines({"dskget: " + missing + ": cannot open the image: No such file or directory"}));
}

// zip, 7z, an archive inside an archive and a damaged zip in one folder: each image comes out as
// a run on it alone writes it, in a folder named after the archive and the member; the damage is
// said and the run goes on.
TEST_F(DskgetTest, ArchivesInAFolderComeOutAsTheirImagesDoAlone) {
  if (system("command -v zip >/dev/null && command -v 7z >/dev/null") != 0) {
    GTEST_SKIP() << "needs zip and 7z (p7zip-full), and a build that reads archives";
  }
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GOOD", "", 0x01, PatternBytes(3000, 4));
  CpmDisk cpm;
  cpm.AddFile(0, "WM", "COM", PatternBytes(3000, 1));
  const std::string src = root / "src";
  mkdir(src.c_str(), 0755);
  mkdir((src + "/disks").c_str(), 0755);
  mkdir((src + "/disks/sub").c_str(), 0755);
  WriteFile(src + "/disks/side_a.d88", hu.ToDisk("A").Build());
  WriteFile(src + "/disks/sub/b.2d", RawDump(cpm.ToDisk(), {40, 2, 16, 1}));
  WriteFile(src + "/disks/notes.txt", Text("not an image"));
  mkdir((root / "coll").c_str(), 0755);
  mkdir((root / "coll/more").c_str(), 0755);
  const std::string make =
      "cd " + src + " && zip -qr ../coll/pack.zip disks && 7z a -bd ../coll/more/pack.7z disks" +
      " >/dev/null && cp ../coll/pack.zip inner.zip && zip -q ../coll/outer.zip inner.zip" +
      " && head -c 2000 ../coll/pack.zip >../coll/broken.zip" +
      // A name in Shift-JIS, as Japanese zip archives store them: ゲー.d88
      " && cp disks/side_a.d88 \"$(printf '\\203\\121\\201\\133.d88')\"" +
      " && zip -q ../coll/sjis.zip *.d88 && zip -q ../coll/text.zip disks/notes.txt" +
      // An image, a folder and an archive of one name side by side: three folders.
      " && cp disks/side_a.d88 ../coll/pack.d88 && mkdir ../coll/pack && cp disks/sub/b.2d " +
      "../coll/pack/side_a.dsk";
  ASSERT_EQ(system(make.c_str()), 0);
  const RunResult result = Run({root / "coll", "-C", root / "out"});
  EXPECT_EQ(result.status, 2);
  const std::string broken = root / "coll/broken.zip";
  EXPECT_NE(result.err.find("dskget: " + broken + ": the archive is damaged: "), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("dskget: note: 4 files passed over as no disk image by their name "
                            "(--all tries every file)"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.out.find(Lines({root / "coll/outer.zip:inner.zip:disks/side_a.d88", "",
                                   "[A] hu-basic (2D) -> 000"})),
            std::string::npos)
      << result.out;
  RunOptions alone;
  alone.cwd = work();
  ASSERT_EQ(Run({src + "/disks/side_a.d88", "-C", root / "a"}, alone).status, 0);
  ASSERT_EQ(Run({src + "/disks/sub/b.2d", "-C", root / "b"}, alone).status, 0);
  const Tree a = Snapshot(root / "a"), b = Snapshot(root / "b");
  const Tree out = Snapshot(root / "out");
  for (const char* folder :
       {"coll/pack.zip/disks/", "coll/more/pack.7z/disks/", "coll/outer.zip/inner.zip/disks/"}) {
    EXPECT_EQ(out.at(folder + std::string("side_a.d88/000/GOOD")), a.at("000/GOOD")) << folder;
    EXPECT_EQ(out.at(folder + std::string("sub/b.2d/000/WM.COM")), b.at("000/WM.COM")) << folder;
  }
  EXPECT_EQ(out.at("coll/sjis.zip/\u30b2\u30fc.d88/000/GOOD"), a.at("000/GOOD"));
  EXPECT_EQ(out.at("coll/pack.d88/000/GOOD"), a.at("000/GOOD"));
  EXPECT_EQ(out.at("coll/pack/side_a.dsk/000/WM.COM"), b.at("000/WM.COM"));
  for (const auto& [path, entry] : out) EXPECT_EQ(path.find("notes"), std::string::npos) << path;
  // A zip of no image said so, alone.
  EXPECT_EQ(Run({root / "coll/text.zip", "-l"}).err,
            Lines({"dskget: " + root / "coll/text.zip" +
                   ": holds no disk image; 1 file passed over by its name (--all tries every "
                   "file)"}));
  // On a terminal, with the listing going to a file, a progress line says which image is being
  // read and how much is done, cut to the terminal's width, and gives way to a summary (wine's
  // own console is not that terminal).
  if (!UnderLauncher()) {
    RunOptions terminal;
    terminal.cwd = work();
    terminal.stderr_terminal = true;
    terminal.terminal_columns = 60;
    terminal.stdout_path = root / "listing.txt";
    const RunResult progress = Run({root / "coll/more", "-C", root / "again"}, terminal);
    EXPECT_EQ(progress.status, 0);
    EXPECT_NE(progress.err.find("\r\033[Kdskget: 1 image (0.3 MB) read; reading ..."),
              std::string::npos)
        << progress.err;
    EXPECT_NE(progress.err.find("7z:disks/sub/b.2d"), std::string::npos) << progress.err;
    for (size_t at = 0; (at = progress.err.find(" read; reading ", at)) != std::string::npos;
         ++at) {
      const size_t start = progress.err.rfind("\033[K", at) + 3;
      EXPECT_LT(progress.err.find_first_of("\r\n", at) - start, 60u) << progress.err;
    }
    EXPECT_EQ(progress.err.substr(progress.err.rfind("\033[K") + 3),
              Lines({"dskget: note: 1 file passed over as no disk image by its name (--all tries "
                     "every file)",
                     "dskget: 2 images (0.7 MB), 2 disks read, 2 files (0.0 MB), 0 problems"}));
  }
  // dskinfo hashes the members it reads as it hashes files.
  RunOptions json = alone;
  json.stdout_path = root / "more.jsonl";
  ASSERT_EQ(RunProgram(ProgramCommand("dskinfo"), {root / "coll/more", "--files", "--jsonl"}, json)
                .status,
            0);
  const std::string check =
      "python3 -c 'import json, sys, hashlib\n"
      "for line in open(sys.argv[1]):\n"
      "  image = json.loads(line)\n"
      "  name = image[\"path\"].split(\":\")[-1]\n"
      "  data = open(sys.argv[2] + \"/\" + name, \"rb\").read()\n"
      "  assert image[\"sha1\"] == hashlib.sha1(data).hexdigest(), name\n"
      "  print(name)' " +
      json.stdout_path + " " + src;
  FILE* hashes = popen(check.c_str(), "r");
  ASSERT_NE(hashes, nullptr);
  char line[256];
  std::string printed;
  while (fgets(line, sizeof line, hashes) != nullptr) printed += line;
  EXPECT_EQ(pclose(hashes), 0);
  EXPECT_EQ(printed, "disks/side_a.d88\ndisks/sub/b.2d\n");
}

TEST_F(DskgetTest, ABasicDiskWithOneBadLinkKeepsItsNameAndItsFiles) {
  const struct {
    BasicDisk::Kind kind;
    uint8_t binary;
    int link;
    const char* listed;
    const char* damage;
  } cases[] = {
      {BasicDisk::kHu_2D, 0x01, 0x60, "] hu-basic (2D) -> 000", "its chain leaves the disk"},
      {BasicDisk::kN88_2D, 0x01, 170, "] n88-basic (2D) -> 001", "its chain leaves the disk"},
      {BasicDisk::kFBasic, 0x02, 0xD0, "] f-basic (2D) -> 002",
       "its chain meets a table entry that holds no link"},
  };
  std::vector<Bytes> disks;
  for (const auto& c : cases) {
    BasicDisk disk(c.kind);
    disk.AddFile("GOOD", "", c.binary, Bytes(300, 'G'));
    const int first = disk.AddFile("BROKEN", "", c.binary, Bytes(2 * disk.ClusterBytes(), 'B'))[0];
    disk.SetTableEntry(first, c.link);
    disks.push_back(disk.ToDisk("D").Build());
  }
  SetImage(Concatenate(disks));
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 2) << result.err;
  const Tree tree = WorkTree();
  for (int i = 0; i < 3; ++i) {
    const std::string folder = "00" + std::to_string(i) + "/";
    EXPECT_NE(result.out.find(cases[i].listed), std::string::npos) << result.out;
    EXPECT_NE(result.err.find(folder + "BROKEN: damaged: " + cases[i].damage), std::string::npos)
        << result.err;
    EXPECT_EQ(tree.at(folder + "GOOD").substr(5, 300), std::string(300, 'G'));
    const BasicDisk shape(cases[i].kind);
    EXPECT_EQ(tree.at(folder + "BROKEN"), "file:" + std::string(shape.ClusterBytes(), 'B'));
  }
}

TEST_F(DskgetTest, AFolderThatIsASymbolicLinkIsNotFollowed) {
  if (UnderLauncher()) GTEST_SKIP() << "symbolic links are the host's";
  BasicDisk hu(BasicDisk::kHu_2D);
  const int folder = hu.AddFolder("SUB");
  hu.AddFile("inner", "", 0x01, Bytes(2, 2), {}, folder);
  SetImage(hu.ToDisk("L").Build());
  TempDir elsewhere;
  ASSERT_EQ(symlink(elsewhere.path().c_str(), (work() + "/SUB").c_str()), 0);
  const RunResult result = RunOnImage({"-d"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskget: SUB: cannot create or enter the folder: Too many levels "
                               "of symbolic links; not read"}));
  EXPECT_TRUE(Snapshot(elsewhere.path()).empty());
}

// The X1turbo CP/M disk (its data tracks interleaved) gives the two files cpmtools copies from
// its logical sectors, and so does its raw 2D dump.
TEST_F(DskgetTest, TheRealCpmDiskComesOutAsCpmtoolsReadsIt) {
  REAL_DISK_OR_SKIP(cpm, "CPM_Format_2D_turboCPM_X1turbo.d88");
  if (system("command -v cpmcp >/dev/null") != 0) GTEST_SKIP() << "cpmtools missing";
  WriteFile(root / "x1turbo.2d", RawTwoD(cpm));
  WriteFile(root / "diskdefs",
            Text("diskdef x1turbo2d\n seclen 256\n tracks 80\n sectrk 16\n blocksize 2048\n"
                 " maxdir 64\n skew 0\n boottrk 4\n os 2.2\nend\n"));
  const std::string commands =
      "set -e; cd " + root.path() + "; mkdir ref; cpmcp -f x1turbo2d x1turbo.2d '0:*' ref/";
  ASSERT_EQ(system(commands.c_str()), 0);
  const Tree theirs = Snapshot(root / "ref");
  ASSERT_EQ(theirs.size(), 2u);
  EXPECT_EQ(Run({cpm, "-C", root / "d88"}).status, 0);
  EXPECT_EQ(Run({root / "x1turbo.2d", "-C", root / "raw"}).status, 0);
  for (const char* folder : {"d88", "raw"}) {
    const Tree ours = Snapshot(root / folder);
    EXPECT_EQ(ours.at("000/HOGE.TXT"), theirs.at("hoge.txt")) << folder;
    EXPECT_EQ(ours.at("000/WM.COM"), theirs.at("wm.com")) << folder;
  }
}

TEST_F(DskgetTest, RealDisksComeOutWhole) {
  REAL_DISK_OR_SKIP(x1, "x1ndp_sample_2d.d88");
  const RunResult result = Run({x1});
  EXPECT_EQ(result.status, 0) << result.err;
  const Tree tree = WorkTree();
  ASSERT_EQ(tree.size(), 4u);
  EXPECT_EQ(tree.at("000/x1ndpsample.bas").size(), 5u + 884u);
  EXPECT_EQ(tree.at("000/x1ndp.bin").size(), 5u + 6663u);
  EXPECT_EQ(tree.at("000/kirakira.ndp").size(), 5u + 319u);
  // Its logical sectors as a raw 2D dump (named as X1 collections name them) give the same files.
  WriteFile(root / "x1.2d", RawTwoD(x1));
  EXPECT_EQ(Run({root / "x1.2d", "-C", root / "raw"}).status, 0);
  EXPECT_EQ(Snapshot(root / "raw"), tree);
}

// A collection written on several threads is what one thread writes: the files, folders and
// dates, the listing and diagnostics in their order, the progress line and the exit status; images
// named on the command line (two of one name), in folders (the real corpora among them), in a zip,
// and standard input.
TEST_F(DskgetTest, ThreadsWriteWhatOneThreadWrites) {
  REAL_DISK_OR_SKIP(real_disks, "");
  const time_t started = time(nullptr);
  BasicDisk hu(BasicDisk::kHu_2D), n88(BasicDisk::kN88_2D);
  hu.AddFile("A", "BIN", 0x01, PatternBytes(5000, 1));
  hu.SetTableEntry(hu.AddFile("BROKEN", "", 0x01, Bytes(2 * hu.ClusterBytes(), 'B'))[0], 0x60);
  n88.AddFile("PROG", "BAS", 0x80, PatternBytes(300, 3));
  mkdir((root / "coll").c_str(), 0755);
  mkdir((root / "coll/sub").c_str(), 0755);
  mkdir((root / "other").c_str(), 0755);
  for (int i = 0; i < 12; ++i) {
    WriteFile(root / ("coll/sub/" + std::to_string(i) + ".d88"),
              (i % 2 == 0 ? hu : n88).ToDisk(std::to_string(i)).Build());
  }
  WriteFile(root / "coll/pair.d88", Concatenate({hu.ToDisk("H").Build(), n88.ToDisk("N").Build()}));
  WriteFile(root / "other/pair.d88", n88.ToDisk("O").Build());
  WriteFile(root / "coll/short.d88", Bytes(10, 'x'));
  WriteFile(root / "coll/raw.2d", hu.Logical());
  std::vector<std::string> paths = {"-", root / "coll", root / "coll/pair.d88",
                                    root / "other/pair.d88", root / "missing.d88"};
  if (!UnderLauncher()) paths.insert(paths.begin() + 2, real_disks);
  if (system(("cd " + root / "coll" + " && zip -qr ../pack.zip sub 2>/dev/null").c_str()) == 0) {
    paths.push_back(root / "pack.zip");
  }
  // Written: standard output and standard error on one terminal, where their order shows (wine's
  // own console is not that terminal: there each is compared alone). Listed: the listing in a
  // file and the progress line on the terminal.
  RunOptions written;
  written.stdout_terminal = written.stderr_terminal = !UnderLauncher();
  written.stdin_pipe = true;
  written.stdin_bytes = std::string(hu.Logical().begin(), hu.Logical().end());
  RunOptions listed = written;
  listed.stdout_terminal = false;
  listed.stderr_terminal = !UnderLauncher();
  listed.terminal_columns = 70;
  // Each entry of a tree with the date its disk gave it (the others have the time they were made).
  const auto dates = [&](const std::string& folder) {
    std::map<std::string, long long> dated;
    for (const auto& [path, entry] : Snapshot(folder)) {
      const long long time = ModificationTime(folder + "/" + path);
      if (time < started) dated[path] = time;
    }
    return dated;
  };
  std::string out_one, err_one, progress_one;
  Bytes listing_one;
  Tree tree_one;
  std::map<std::string, long long> dates_one;
  for (const char* workers : {"1", "2", "5"}) {
    std::vector<std::string> args = paths;
    const std::string out = root / (std::string("out") + workers);
    args.insert(args.end(), {"-C", out, "-j", workers});
    const RunResult run = Run(args, written);
    EXPECT_EQ(run.status, 2) << workers;
    args.insert(args.end(), {"-l"});
    listed.stdout_path = root / (std::string("listing") + workers);
    const RunResult list = Run(args, listed);
    EXPECT_EQ(list.status, 2) << workers;
    if (workers[0] == '1') {
      out_one = run.out;
      err_one = run.err;
      listing_one = ReadFile(listed.stdout_path);
      progress_one = list.err;
      tree_one = Snapshot(out);
      dates_one = dates(out);
      EXPECT_NE(out_one.find("short.d88"), std::string::npos);
      EXPECT_GT(dates_one.size(), 10u);
      EXPECT_EQ(tree_one.at("pair~2.d88/000/PROG.BAS"), tree_one.at("pair.d88/001/PROG.BAS"));
      if (listed.stderr_terminal) {
        EXPECT_NE(progress_one.find(" read; reading "), std::string::npos) << progress_one;
      }
      continue;
    }
    EXPECT_EQ(run.out, out_one) << "-j " << workers;
    EXPECT_EQ(run.err, err_one) << "-j " << workers;
    EXPECT_EQ(ReadFile(listed.stdout_path), listing_one) << "-j " << workers;
    EXPECT_EQ(list.err, progress_one) << "-j " << workers;
    EXPECT_EQ(Snapshot(out), tree_one) << "-j " << workers;
    EXPECT_EQ(dates(out), dates_one) << "-j " << workers;
  }
  const RunResult zero = Run({root / "coll", "-l", "-j", "0"});
  EXPECT_EQ(zero.status, 1);
  EXPECT_NE(zero.err.find("dskget: -j takes a number of threads from 1 to 64, not \"0\""),
            std::string::npos)
      << zero.err;
  EXPECT_EQ(Run({root / "coll", "-l", "-j"}).status, 1);
}

}  // namespace
