// End-to-end tests of dskinfo: the text report at 80 columns, the JSON document read back by a
// real JSON parser for a disk of every kind, and the command line.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "tests/container_builder.h"
#include "tests/e2e_fixture.h"
#include "tests/fat12_image.h"
#include "tests/file_system_builder.h"
#include "tests/real_disks.h"

namespace {

class DskinfoTest : public E2eTest {
 protected:
  DskinfoTest() : E2eTest("dskinfo") {}
};

TEST_F(DskinfoTest, TextReportSaysWhatTheDiskIsAndWhichProgramReadsIt) {
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GAME", "BIN", 0x01, PatternBytes(5000, 1));
  hu.AddFile("README", "TXT", 0x04, Bytes(10, 'a'));
  DiskBuilder disk = hu.ToDisk("X1 \x83\x51\x81\x5B\x83\x80");  // "X1 ゲーム"
  disk.WriteProtect(0x10);
  std::vector<SectorRecord> odd = TrackSectors(79, 1, 16, 1, &hu.Logical()[79 * 16 * 256]);
  odd[2].status = 0xB0;
  disk.ReplaceTrack(79, odd);
  SetImage(disk.Build());
  const RunResult result = RunOnImage();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(
      result.out,
      Lines({image_path(), "disk 0: X1 ゲーム",
             "  media:       2D (media byte 00h), write-protected",
             "  geometry:    40 cylinders x 2 heads x 16 sectors x 256 bytes; 1 sector with an",
             "               error status",
             "  contents:    hu-basic (2D): FAT in logical sector 14 begins 01 8F; directory",
             "               entries parse, chains stay on the disk",
             "  files:       2 files, 12288 bytes used, 307200 bytes free",
             "  held by:     d88, nfd", "  read with:   dskget " + image_path()}));
}

TEST_F(DskinfoTest, JsonNamesEveryKindAndIsValidWhateverTheNames) {
  Fat12Image fat;
  fat.SetRoot(0, "GAME DISK 1", 0x08, 0, 0);  // the volume label
  fat.SetRoot(1, "A       TXT", 0x20, 2, 3);
  fat.SetFat(2, 0xFFF);
  BasicDisk n88(BasicDisk::kN88_2HD), hu(BasicDisk::kHu_2HD), fb(BasicDisk::kFBasic);
  n88.AddFile("A", "", 0x01, PatternBytes(10, 1));
  fb.AddFile("A", "", 0x01, PatternBytes(10, 1));
  DskcutLayout cut;
  cut.AddFile("A", "B", PatternBytes(10, 1));
  DskpullLayout pull;
  pull.AddFile("ABCD", PatternBytes(10, 1));
  SetImage(Concatenate({SectorsToDisk(fat.raw, {77, 2, 8, 3}).Name("\"q\\\x1b\x82").Build(),
                        n88.ToDisk("N").Build(), hu.ToDisk("H").Build(), fb.ToDisk("F").Build(),
                        cut.ToDisk("C").Build(), pull.ToDisk("P").Build(), DiskBuilder().Build()}));
  const std::string json = root / "out.json";
  RunOptions options;
  options.stdout_path = json;
  const RunResult result = Run({image_path(), "--json", root / "missing.d88"}, options);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, Lines({"dskinfo: " + root / "missing.d88" +
                               ": cannot open the image: No such file or directory"}));
  const std::string check =
      "python3 -c 'import json,sys\n"
      "d = json.load(open(sys.argv[1]))\n"
      "keys = [\"index\", \"name\", \"media\", \"write_protected\", \"cylinders\", \"heads\",\n"
      "        \"sectors_per_track\", \"sector_size\", \"file_system\", \"evidence\", \"files\"]\n"
      "for image in d[\"images\"]:\n"
      "  print(image[\"error\"] is not None, len(image[\"disks\"]))\n"
      "  for disk in image[\"disks\"]:\n"
      "    assert all(k in disk for k in keys)\n"
      "    print(repr(disk[\"name\"]), disk[\"media\"], disk[\"file_system\"], disk[\"files\"],\n"
      "          disk[\"label\"])\n"
      "' " +
      json;
  FILE* parser = popen(check.c_str(), "r");
  ASSERT_NE(parser, nullptr);
  std::string parsed;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, parser) != nullptr) parsed += buffer;
  ASSERT_EQ(pclose(parser), 0) << parsed;
  EXPECT_EQ(parsed,
            "False 7\n"
            "'\"q\\\\\\x1b%82' 2D fat12 1 GAME DISK 1\n"
            "'N' 2HD n88-basic 1 None\n"
            "'H' 2HD hu-basic 0 None\n"
            "'F' 2D f-basic 1 None\n"
            "'C' 2DD dskcut 1 None\n"
            "'P' 2D dskpull 1 None\n"
            "'' 2D unformatted None None\n"
            "True 0\n");
  // --jsonl: the same objects, one image a line.
  options.stdout_path = root / "out.jsonl";
  EXPECT_EQ(Run({image_path(), "--jsonl", root / "missing.d88"}, options).status, 2);
  const std::string same =
      "python3 -c 'import json,sys\n"
      "lines = open(sys.argv[2]).read().splitlines()\n"
      "assert [json.loads(l) for l in lines] == json.load(open(sys.argv[1]))[\"images\"]\n"
      "print(len(lines))' " +
      json + " " + root / "out.jsonl";
  parser = popen(same.c_str(), "r");
  ASSERT_NE(parser, nullptr);
  parsed.clear();
  while (fgets(buffer, sizeof buffer, parser) != nullptr) parsed += buffer;
  ASSERT_EQ(pclose(parser), 0) << parsed;
  EXPECT_EQ(parsed, "2\n");
}

// A real disk cut short, one whose size field is FFFFFFFFh, and bytes that are no D88 image: each
// is said, with the reason, and none passes as healthy.
TEST_F(DskinfoTest, TruncatedImagesAndFilesThatAreNoD88ImageAreSaid) {
  REAL_DISK_OR_SKIP(x1, "x1ndp_sample_2d.d88");
  const Bytes whole = ReadFile(x1);
  WriteFile(root / "cut.d88", Bytes(whole.begin(), whole.begin() + 102400));
  Bytes huge_size = whole;
  for (int i = 0x1C; i < 0x20; ++i) huge_size[i] = 0xFF;
  WriteFile(root / "size.d88", huge_size);
  Bytes noise(1 << 20);
  uint32_t state = 12345;
  for (uint8_t& b : noise) b = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
  noise[0x1B] = 0x9C;
  WriteFile(root / "noise.bin", noise);
  const RunResult result = Run({root / "cut.d88", root / "size.d88", root / "noise.bin", "--json"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err,
            Lines({"dskinfo: " + root / "cut.d88" +
                       ": disk 0: its size field says 348848 bytes, 246448 more than the image "
                       "holds (56 tracks missing); not read whole",
                   "dskinfo: " + root / "size.d88" +
                       ": disk 0: its size field says 4294967295 bytes, 4294618447 more than the "
                       "image holds (0 tracks missing); not read whole",
                   "dskinfo: " + root / "noise.bin" +
                       ": not a disk image: 1048576 bytes, no container's signature or size; as "
                       "D88, its media byte is 9Ch, none of 00h, 10h, 20h, 30h, 40h"}));
  // The cut disk keeps its 24 stored tracks; the one with the broken size field all 80.
  EXPECT_NE(result.out.find("\"disk_size\": 348848, \"tracks\": 24, \"cylinders\": 12"),
            std::string::npos);
  EXPECT_NE(result.out.find("\"missing_tracks\": 56"), std::string::npos);
  EXPECT_NE(result.out.find("\"disk_size\": 4294967295, \"tracks\": 80"), std::string::npos);
  EXPECT_NE(result.out.find("\"container\": null, \"unrecorded\": [], \"error\": \"not a disk "
                            "image: 1048576 bytes"),
            std::string::npos);
}

// A raw 2D dump and the same disk as IMD: the report names the container and what it does not
// record.
TEST_F(DskinfoTest, OtherContainersAreNamedWithWhatTheyDoNotRecord) {
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GAME", "BIN", 0x01, PatternBytes(5000, 1));
  const DiskBuilder disk = hu.ToDisk("X1");
  WriteFile(root / "game.2d", RawDump(disk, hu.Shape()));
  WriteFile(root / "game.imd", ImdImage(disk, false));
  RunResult result = Run({root / "game.2d"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(
      result.out.substr(0, result.out.find("  geometry:")),
      Lines({root / "game.2d", "disk 0: (no name)",
             "  container:   raw, which does not record sector IDs, density, deleted marks and",
             "               read errors", "  media:       2D, writable"}));
  EXPECT_NE(result.out.find("hu-basic (2D)"), std::string::npos);
  result = Run({root / "game.2d", root / "game.imd", "--json"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("\"container\": \"raw\", \"unrecorded\": [\"sector_ids\", "
                            "\"density\", \"deleted_marks\", \"read_errors\"], \"error\": null"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("\"container\": \"imd\", \"unrecorded\": [], \"error\": null"),
            std::string::npos);
  EXPECT_EQ(result.out.find("\"file_system\": \"unknown\""), std::string::npos);
}

// A folder stands for the images inside it, at any depth, in name order.
TEST_F(DskinfoTest, AFolderIsReportedImageByImage) {
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GAME", "BIN", 0x01, PatternBytes(500, 1));
  mkdir((root / "set").c_str(), 0755);
  mkdir((root / "set/b").c_str(), 0755);
  WriteFile(root / "set/b/one.D77", hu.ToDisk("ONE").Build());
  WriteFile(root / "set/a.imd", ImdImage(hu.ToDisk("TWO"), false));
  WriteFile(root / "set/a.txt", Bytes(10, 'a'));
  const RunResult result = Run({root / "set", "--json"});
  EXPECT_EQ(result.status, 0) << result.err;
  const size_t first = result.out.find("{\"path\": \"" + root / "set/a.imd" +
                                       "\", \"folder\": \"set/a.imd\", \"container\": \"imd\"");
  const size_t second =
      result.out.find("{\"path\": \"" + root / "set/b/one.D77" +
                      "\", \"folder\": \"set/b/one.D77\", \"container\": \"d88\"");
  EXPECT_NE(first, std::string::npos) << result.out;
  EXPECT_NE(second, std::string::npos) << result.out;
  EXPECT_LT(first, second);
  EXPECT_EQ(result.out.find("a.txt"), std::string::npos);
  EXPECT_EQ(result.err,
            Lines({"dskinfo: note: 1 file passed over as no disk image by its name (--all tries "
                   "every file)"}));
  // --all tries it too: no container accepts it.
  const RunResult every = Run({root / "set", "--all"});
  EXPECT_EQ(every.status, 2);
  EXPECT_NE(every.err.find(root / "set/a.txt" + ": not a disk image: 10 bytes"), std::string::npos)
      << every.err;
}

// Runs a python3 script with `args`; its output, or a failure with what it said.
std::string RunPython(const std::string& script, const std::vector<std::string>& args) {
  std::string command = "python3 -c '" + script + "'";
  for (const std::string& arg : args) command += " " + arg;
  FILE* python = popen(command.c_str(), "r");
  if (python == nullptr) return "popen failed";
  std::string output;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, python) != nullptr) output += buffer;
  if (pclose(python) != 0) output += "(python3 failed)";
  return output;
}

// The catalogue names every file as dskget writes it (folders, renamed names), with the hashes
// of the bytes dskget writes; the datafile is well-formed XML whatever the names hold.
TEST_F(DskinfoTest, FilesAndDatafileHashWhatDskgetWrites) {
  if (Run({"--files", "none.d88"}).err.find("no hashes") != std::string::npos) {
    GTEST_SKIP() << "this build has no hashes";
  }
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("A&<\"", "BIN", 0x01, PatternBytes(5000, 1));
  hu.AddFile("a&<\"", "bin", 0x01, PatternBytes(70, 2));  // dskget writes it as ~2
  hu.AddFile("\xFF\x01", "", 0x01, Bytes(3, 3));
  hu.AddFile("DEEP", "", 0x01, Bytes(0, 0), {}, hu.AddFolder("SUB"));
  BasicDisk n88(BasicDisk::kN88_2D);
  n88.AddFile("PROG", "BAS", 0x80, PatternBytes(300, 3));
  mkdir((root / "set").c_str(), 0755);
  WriteFile(root / "set/pair.d88", Concatenate({hu.ToDisk("H").Build(), n88.ToDisk("N").Build()}));
  WriteFile(root / "set/blank.d88", DiskBuilder().Build());
  RunOptions options;
  options.cwd = work();
  // 2: the renamed name and the blank disk are said.
  ASSERT_EQ(
      RunProgram(ProgramCommand("dskget"), {root / "set", "-C", root / "out"}, options).status, 2);
  options.stdout_path = root / "files.jsonl";
  ASSERT_EQ(Run({root / "set", "--files", "--jsonl"}, options).status, 0);
  // The names as dskget writes them on this host: Windows takes neither < nor ".
  const std::string upper = UnderLauncher() ? "A&__" : "A&<\"";
  const std::string lower = UnderLauncher() ? "a&__" : "a&<\"";
  EXPECT_EQ(RunPython("import json, sys, os, hashlib, zlib\n"
                      "for line in open(sys.argv[1]):\n"
                      "  image = json.loads(line)\n"
                      "  data = open(image[\"path\"], \"rb\").read()\n"
                      "  assert image[\"size\"] == len(data)\n"
                      "  assert image[\"sha1\"] == hashlib.sha1(data).hexdigest()\n"
                      "  folder = os.path.join(sys.argv[2], image[\"folder\"])\n"
                      "  for disk in image[\"disks\"]:\n"
                      "    print(disk[\"file_list\"] is None or len(disk[\"file_list\"]))\n"
                      "    for f in disk[\"file_list\"] or []:\n"
                      "      b = open(os.path.join(folder, disk[\"folder\"], f[\"path\"]), "
                      "\"rb\").read()\n"
                      "      assert f[\"size\"] == len(b) and f[\"damage\"] is None\n"
                      "      assert f[\"crc32\"] == \"%08x\" % zlib.crc32(b)\n"
                      "      assert f[\"md5\"] == hashlib.md5(b).hexdigest()\n"
                      "      assert f[\"sha1\"] == hashlib.sha1(b).hexdigest()\n"
                      "      assert f[\"sha256\"] == hashlib.sha256(b).hexdigest()\n"
                      "      print(f[\"path\"], f[\"type\"])\n",
                      {root / "files.jsonl", root / "out"}),
            "True\n4\n" + upper + ".BIN bin\n" + lower +
                "~2.bin bin\n%FF%01 bin\nSUB/DEEP bin\n1\n" + "PROG.BAS bas\n");
  options.stdout_path = root / "set.dat";
  ASSERT_EQ(Run({root / "set", "--dat"}, options).status, 0);
  EXPECT_EQ(
      RunPython("import sys, xml.etree.ElementTree as ET\n"
                "d = ET.parse(sys.argv[1]).getroot()\n"
                "print(d.find(\"header/name\").text)\n"
                "for game in d.findall(\"game\"):\n"
                "  print(game.get(\"name\"), *[r.get(\"name\") for r in game.findall(\"rom\")])\n",
                std::vector<std::string>{root / "set.dat"}),
      "set\nset/blank.d88\nset/pair.d88 000/" + upper + ".BIN 000/" + lower +
          "~2.bin 000/%FF%01 000/SUB/DEEP 001/PROG.BAS\n");
}

// The public Logiqx datafile DTD's elements and attributes, which ROM managers read.
const char kDatafileDtd[] =
    "<!ELEMENT datafile (header?, game+)>\n"
    "<!ATTLIST datafile build CDATA #IMPLIED debug (yes|no) \"no\">\n"
    "<!ELEMENT header (name, description, category?, version, date?, author, email?, homepage?, "
    "url?, comment?, clrmamepro?, romcenter?)>\n"
    "<!ELEMENT name (#PCDATA)>\n<!ELEMENT description (#PCDATA)>\n"
    "<!ELEMENT category (#PCDATA)>\n<!ELEMENT version (#PCDATA)>\n<!ELEMENT date (#PCDATA)>\n"
    "<!ELEMENT author (#PCDATA)>\n<!ELEMENT email (#PCDATA)>\n<!ELEMENT homepage (#PCDATA)>\n"
    "<!ELEMENT url (#PCDATA)>\n<!ELEMENT comment (#PCDATA)>\n<!ELEMENT clrmamepro EMPTY>\n"
    "<!ELEMENT romcenter EMPTY>\n"
    "<!ELEMENT game (comment*, description, year?, manufacturer?, release*, biosset*, rom*, "
    "disk*, sample*, archive*)>\n"
    "<!ATTLIST game name CDATA #REQUIRED sourcefile CDATA #IMPLIED isbios (yes|no) \"no\" "
    "cloneof CDATA #IMPLIED romof CDATA #IMPLIED sampleof CDATA #IMPLIED board CDATA #IMPLIED "
    "rebuildto CDATA #IMPLIED>\n"
    "<!ELEMENT year (#PCDATA)>\n<!ELEMENT manufacturer (#PCDATA)>\n"
    "<!ELEMENT release EMPTY>\n<!ATTLIST release name CDATA #REQUIRED region CDATA #REQUIRED>\n"
    "<!ELEMENT biosset EMPTY>\n<!ATTLIST biosset name CDATA #REQUIRED description CDATA "
    "#REQUIRED>\n"
    "<!ELEMENT rom EMPTY>\n"
    "<!ATTLIST rom name CDATA #REQUIRED size CDATA #REQUIRED crc CDATA #IMPLIED sha1 CDATA "
    "#IMPLIED md5 CDATA #IMPLIED merge CDATA #IMPLIED status (baddump|nodump|good|verified) "
    "\"good\" date CDATA #IMPLIED>\n"
    "<!ELEMENT disk EMPTY>\n<!ATTLIST disk name CDATA #REQUIRED sha1 CDATA #IMPLIED>\n"
    "<!ELEMENT sample EMPTY>\n<!ATTLIST sample name CDATA #REQUIRED>\n"
    "<!ELEMENT archive EMPTY>\n<!ATTLIST archive name CDATA #REQUIRED>\n";

// The same disk as D88, renamed and write-protected D88 and a raw dump has one content hash:
// the SHA-1 of its sectors in order. The datafile is valid against the DTD, a damaged file's rom
// a bad dump.
TEST_F(DskinfoTest, OneDiskInThreeContainersHasOneContentHashAndTheDatafileIsValid) {
  if (Run({"--files", "none.d88"}).err.find("no hashes") != std::string::npos) {
    GTEST_SKIP() << "this build has no hashes";
  }
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GOOD", "", 0x01, PatternBytes(10, 1));
  hu.AddFile("GOOD2", "", 0x01, PatternBytes(10, 2));
  hu.AddFile("LOOP", "", 0x01, PatternBytes(5000, 3));
  hu.SetTableEntry(5, 4);  // LOOP's chain loops
  mkdir((root / "same").c_str(), 0755);
  WriteFile(root / "same/a.d88", hu.ToDisk("A").Build());
  WriteFile(root / "same/b.d88", hu.ToDisk("ANOTHER NAME").WriteProtect(0x10).Build());
  WriteFile(root / "same/c.2d", hu.Logical());
  RunOptions options;
  options.cwd = work();
  options.stdout_path = root / "same.jsonl";
  ASSERT_EQ(Run({root / "same", "--files", "--jsonl"}, options).status, 0);
  options.stdout_path = root / "same.dat";
  ASSERT_EQ(Run({root / "same", "--dat"}, options).status, 0);
  EXPECT_EQ(
      RunPython(
          "import json, sys, hashlib, xml.etree.ElementTree as ET\n"
          "sha1 = hashlib.sha1(open(sys.argv[3], \"rb\").read()).hexdigest()\n"
          "for line in open(sys.argv[1]):\n"
          "  image = json.loads(line)\n"
          "  print(image[\"container\"], image[\"disks\"][0][\"content_sha1\"] == sha1)\n"
          "d = ET.parse(sys.argv[2]).getroot()\n"
          "print(d.find(\"header/version\").text)\n"
          "for game in d.findall(\"game\"):\n"
          "  print(game.find(\"comment\").text == \"000 content_sha1 \" + sha1,\n"
          "        *[r.get(\"name\") + \" \" + r.get(\"status\") for r in game.iter(\"rom\")])\n",
          {root / "same.jsonl", root / "same.dat", root / "same/c.2d"}),
      "d88 True\nd88 True\nraw True\ndskinfo " PROJECT_VERSION
      "\nTrue 000/GOOD good 000/GOOD2 good 000/LOOP baddump"
      "\nTrue 000/GOOD good 000/GOOD2 good 000/LOOP baddump"
      "\nTrue 000/GOOD good 000/GOOD2 good 000/LOOP baddump\n");
  if (system("xmllint --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xmllint";
  WriteFile(root / "datafile.dtd", Bytes(kDatafileDtd, kDatafileDtd + sizeof kDatafileDtd - 1));
  // The DOCTYPE's own address is not fetched (--nonet): xmllint warns of it, and validates.
  const std::string check = "xmllint --nonet --noout --dtdvalid " + root / "datafile.dtd" + " " +
                            root / "same.dat" + " 2>" + root / "xmllint.txt";
  const int status = system(check.c_str());
  const Bytes said = ReadFile(root / "xmllint.txt");
  EXPECT_EQ(status, 0) << std::string(said.begin(), said.end());
}

// A collection read on several threads gives, in every form, exactly what one thread gives: the
// listing, the diagnostics where they fall between its lines, and the exit status; images named
// on the command line, in folders (the real corpora among them) and in a zip, and standard input.
TEST_F(DskinfoTest, ThreadsWriteWhatOneThreadWrites) {
  REAL_DISK_OR_SKIP(real_disks, "");
  BasicDisk hu(BasicDisk::kHu_2D), n88(BasicDisk::kN88_2D);
  hu.AddFile("A", "BIN", 0x01, PatternBytes(5000, 1));
  hu.AddFile("LOOP", "", 0x01, PatternBytes(5000, 3));
  hu.SetTableEntry(5, 4);
  n88.AddFile("PROG", "BAS", 0x80, PatternBytes(300, 3));
  mkdir((root / "coll").c_str(), 0755);
  mkdir((root / "coll/sub").c_str(), 0755);
  for (int i = 0; i < 12; ++i) {
    WriteFile(root / ("coll/sub/" + std::to_string(i) + ".d88"),
              (i % 2 == 0 ? hu : n88).ToDisk(std::to_string(i)).Build());
  }
  WriteFile(root / "coll/pair.d88", Concatenate({hu.ToDisk("H").Build(), n88.ToDisk("N").Build()}));
  WriteFile(root / "coll/blank.d88", DiskBuilder().Build());
  WriteFile(root / "coll/short.d88", Bytes(10, 'x'));
  WriteFile(root / "coll/raw.2d", hu.Logical());
  // Standard input first: the test writes it whole before it reads what the program writes. Under
  // wine, where every run is slow, the real disks are left to the other runs.
  std::vector<std::string> paths = {"-", root / "coll", root / "coll/pair.d88",
                                    root / "missing.d88"};
  if (!UnderLauncher()) paths.insert(paths.begin() + 2, real_disks);
  if (system(("cd " + root / "coll" + " && zip -qr ../pack.zip sub 2>/dev/null").c_str()) == 0) {
    paths.push_back(root / "pack.zip");
  }
  const bool hashes = Run({"--files", "none.d88"}).err.find("no hashes") == std::string::npos;
  std::vector<std::vector<std::string>> forms = {{}, {"--json"}};
  if (hashes) forms.insert(forms.end(), {{"--files", "--jsonl"}, {"--dat"}, {"--files"}});
  // Standard output and standard error on one terminal, where their order shows (wine's own
  // console is not that terminal: there each is compared alone).
  RunOptions shared;
  shared.stdout_terminal = shared.stderr_terminal = !UnderLauncher();
  shared.stdin_pipe = true;
  shared.stdin_bytes = std::string(hu.Logical().begin(), hu.Logical().end());
  for (const std::vector<std::string>& form : forms) {
    std::vector<std::string> args = paths;
    args.insert(args.end(), form.begin(), form.end());
    args.insert(args.end(), {"-j", "1"});
    const RunResult one = Run(args, shared);
    EXPECT_EQ(one.status, 2);
    EXPECT_NE((one.out + one.err).find("short.d88"), std::string::npos);
    for (const char* workers : {"2", "5"}) {
      args.back() = workers;
      const RunResult several = Run(args, shared);
      EXPECT_EQ(several.status, one.status) << form.size();
      EXPECT_EQ(several.out, one.out) << "-j " << workers << " " << (form.empty() ? "" : form[0]);
      EXPECT_EQ(several.err, one.err);
    }
  }
  // Standard output alone, as a pipe.
  RunOptions piped = shared;
  piped.stdout_terminal = piped.stderr_terminal = false;
  std::vector<std::string> args = paths;
  args.insert(args.end(), {"--jsonl", "-j1"});
  const RunResult one = Run(args, piped);
  args.back() = "-j4";
  const RunResult four = Run(args, piped);
  EXPECT_EQ(four.out, one.out);
  EXPECT_EQ(four.err, one.err);
  EXPECT_EQ(Run({root / "coll", "-j", "0"}).status, 1);
  EXPECT_EQ(Run({root / "coll", "-j"}).status, 1);
}

// The Windows programs, run under wine, catalogue and take out a collection as the host's own
// build does: a folder with the real corpora in it and a zip, with the same listings, hashes,
// datafile and files.
TEST_F(DskinfoTest, AWindowsBuildReadsACollectionAsTheHostBuildDoes) {
  if (!UnderLauncher()) GTEST_SKIP() << "compares a build run under wine with the host's";
  REAL_DISK_OR_SKIP(real_disks, "");
  BasicDisk hu(BasicDisk::kHu_2D), n88(BasicDisk::kN88_2D);
  hu.AddFile("A", "BIN", 0x01, PatternBytes(5000, 1));
  n88.AddFile("PROG", "BAS", 0x80, PatternBytes(300, 3));
  mkdir((root / "coll").c_str(), 0755);
  mkdir((root / "coll/sub").c_str(), 0755);
  WriteFile(root / "coll/sub/pair.d88",
            Concatenate({hu.ToDisk("H").Build(), n88.ToDisk("N").Build()}));
  WriteFile(root / "coll/sub/raw.2d", hu.Logical());
  WriteFile(root / "coll/short.d88", Bytes(10, 'x'));
  ASSERT_EQ(system(("cd " + root / "coll" + " && zip -qr ../pack.zip sub").c_str()), 0);
  const std::vector<std::string> paths = {root / "coll", root / "pack.zip", real_disks};
  RunOptions options;
  options.cwd = work();
  options.stdout_path = root / "listing";
  const auto without_cr = [](std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
  };
  for (const std::vector<std::string>& form :
       std::vector<std::vector<std::string>>{{"--files", "--jsonl"}, {"--dat"}, {"--files"}}) {
    std::vector<std::string> args = paths;
    args.insert(args.end(), form.begin(), form.end());
    const RunResult windows = Run(args, options);
    const std::string listed = ReadText(options.stdout_path);
    const RunResult host = RunProgram(BuiltProgramCommand("dskinfo"), args, options);
    EXPECT_EQ(windows.status, host.status);
    EXPECT_NE(listed.find("corpus1"), std::string::npos) << form[0];
    EXPECT_EQ(without_cr(listed), ReadText(options.stdout_path)) << form[0];
    EXPECT_EQ(without_cr(windows.err), host.err);
  }
  std::vector<std::string> args = paths;
  args.insert(args.end(), {"-C", root / "windows"});
  const RunResult windows = RunProgram(ProgramCommand("dskget"), args, options);
  args.back() = root / "host";
  const RunResult host = RunProgram(BuiltProgramCommand("dskget"), args, options);
  EXPECT_EQ(windows.status, host.status);
  EXPECT_EQ(without_cr(windows.err), host.err);
  EXPECT_EQ(Snapshot(root / "windows"), Snapshot(root / "host"));
}

TEST_F(DskinfoTest, UsageHelpAndVersion) {
  RunResult result = Run({});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            Lines({"Usage: dskinfo IMAGE... [--all] [--files] [--json | --jsonl | --dat] [-j N]",
                   "Try 'dskinfo --help'."}));
  result = Run({"a.d88", "-x"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  result = Run({"--help"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(
      result.out.rfind(
          "Usage: dskinfo IMAGE... [--all] [--files] [--json | --jsonl | --dat] [-j N]" + LineEnd(),
          0),
      0u);
  result = Run({"--version"});
  EXPECT_EQ(result.out, Lines({"dskinfo " PROJECT_VERSION}));
  result = Run({"a.d88", "-h"});  // -h is help wherever it stands, as in dskget
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(
      result.out.rfind(
          "Usage: dskinfo IMAGE... [--all] [--files] [--json | --jsonl | --dat] [-j N]" + LineEnd(),
          0),
      0u);
}

TEST_F(DskinfoTest, ReadWithIsACommandToPaste) {
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("A", "", 0x01, Bytes(10, 1));
  const std::string path = root / "My Disks (1)/it's.d88";
  mkdir((root / "My Disks (1)").c_str(), 0755);
  WriteFile(path, hu.ToDisk("H").Build());
  const RunResult result = Run({path});
  const std::string quoted =
      UnderLauncher() ? "\"" + path + "\"" : "'" + root.path() + "/My Disks (1)/it'\\''s.d88'";
  EXPECT_NE(result.out.find("  read with:   dskget " + quoted + LineEnd()), std::string::npos)
      << result.out;
}

}  // namespace
