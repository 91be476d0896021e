// make_d88: writes the project's generated D88 images (the bundled samples, the benchmark
// workloads and the fuzz seed corpus) with the test-image builder.
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/container_builder.h"
#include "tests/cpm_mz_builder.h"
#include "tests/d88_builder.h"
#include "tests/fat12_image.h"
#include "tests/file_system_builder.h"
#include "tests/test_files.h"

namespace {

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes SampleDskcut() {
  DskcutLayout one;
  one.AddFile("README", "TXT",
              Text("This disk was made by make_d88 to show what dskcut extracts.\r\n"
                   "Each file is listed with its start track, start block, length in\r\n"
                   "256-byte blocks and last-block flag.\r\n"));
  one.AddFile("HELLO", "BAS", Text("10 PRINT \"HELLO, WORLD\"\r\n20 GOTO 10\r\n"));
  one.AddFile("SPRITE", "BIN", PatternBytes(700, 1));
  one.AddFile("NOEXT", "", Text("A file without an extension.\r\n"));
  DskcutLayout two;
  two.AddFile("README", "TXT", Text("The second disk of the sample image.\r\n"));
  two.AddFile("TABLE", "DAT", PatternBytes(3000, 2));
  return Concatenate({one.ToDisk("SAMPLE DISK 1").Build(), two.ToDisk("SAMPLE DISK 2").Build()});
}

Bytes SampleDskpull() {
  DskpullLayout disk;
  disk.AddFile("READ", Text("This disk was made by make_d88 to show what dskpull extracts.\r\n"));
  disk.AddFile("PROG", PatternBytes(1500, 3));
  disk.AddFile("DATA", PatternBytes(300, 4));
  disk.AddFile("NOTE", Text("Names are four bytes long.\r\n"));
  return disk.ToDisk("SAMPLE").Build();
}

// 64 disks, each with 127 files of 11 or 12 blocks that fill tracks 2 to 79 (1560 blocks). The
// names differ from disk to disk, so that every file is kept with -d as well.
Bytes BenchDskcut(int disks) {
  std::vector<Bytes> images;
  for (int d = 0; d < disks; ++d) {
    DskcutLayout layout;
    for (int f = 0; f < 127; ++f) {
      char name[16];
      snprintf(name, sizeof name, "D%02d%03d", d % 100, f);
      const size_t size = 2800 + 2 * static_cast<size_t>(f);
      layout.AddFile(name, "DAT", PatternBytes(size, static_cast<uint32_t>(d * 1000 + f)));
    }
    images.push_back(layout.ToDisk("BENCH " + std::to_string(d)).Build());
  }
  return Concatenate(images);
}

// One disk with eight small files: a run costs little more than the program's start.
Bytes BenchSmall() {
  DskcutLayout layout;
  for (int f = 0; f < 8; ++f) {
    layout.AddFile("FILE" + std::to_string(f), "TXT", PatternBytes(1000 + 300 * f, f));
  }
  return layout.ToDisk("SMALL").Build();
}

// One disk with 128 files of five sectors over tracks 4 to 79 (760 sectors).
Bytes BenchDskpull() {
  DskpullLayout layout;
  for (int f = 0; f < 128; ++f) {
    char name[5];
    snprintf(name, sizeof name, "F%03d", f);
    layout.AddFile(name, PatternBytes(2400 + static_cast<size_t>(f), static_cast<uint32_t>(f)));
  }
  return layout.ToDisk("BENCH").Build();
}

// For the web page's test: names in Shift-JIS (half-width katakana, kana and kanji, a second byte
// 0x5C, a byte that is no character, a slash) on a disk whose name is Shift-JIS too.
// Directories for the hostile images, so that their files need every data track: for the
// 16-byte layout, an entry for each track from 2 on (20 blocks from block 0); for the 8-byte
// layout, one for each track from 4 on (5120 bytes from sector 1).
std::vector<SectorRecord> EveryTrackDirectory16() {
  Bytes directory(2048, 0);
  for (int track = 2; track < 80; ++track) {
    uint8_t* entry = &directory[16 * (track - 1)];
    snprintf(reinterpret_cast<char*>(entry), 10, "T%02d      ", track);
    entry[9] = static_cast<uint8_t>(track);
    entry[11] = 20;
  }
  return TrackSectors(1, 1, 2, 3, directory.data());
}

std::vector<SectorRecord> EveryTrackDirectory8() {
  Bytes directory(1024, 0);
  for (int track = 4; track < 80; ++track) {
    uint8_t* entry = &directory[8 * (track - 4)];
    snprintf(reinterpret_cast<char*>(entry), 5, "T%02d ", track);
    entry[4] = static_cast<uint8_t>(track);
    entry[7] = 5120 >> 8;
  }
  return TrackSectors(1, 1, 4, 1, directory.data());
}

Bytes WebShiftJisNames() {
  DskcutLayout layout;
  layout.AddFile("\xB6\xC0\xB6\xC5", "TXT", Text("half-width katakana\r\n"));
  layout.AddFile("\x95\x5C", "", PatternBytes(700, 5));
  layout.AddFile("\x82\xA0\x82\xA2", "BAS", PatternBytes(1300, 6));
  layout.AddFile("A\x85\x40", "", PatternBytes(100, 7));
  layout.AddFile("A/B", "", PatternBytes(100, 8));
  return layout.ToDisk("\x83\x66\x83\x42\x83\x58\x83\x4E").Build();
}

// For the web page's test: a good disk, then one without its directory track and with a data
// track missing, whose listing repeats the first disk's entries.
Bytes WebDamaged() {
  DskcutLayout first;
  first.AddFile("GOOD", "TXT", Text("from the first disk\r\n"));
  first.AddFile("SPAN", "BIN", PatternBytes(9000, 9));
  DskcutLayout second;
  second.track_image = PatternBytes(DskcutLayout::kImageSize, 10);
  DiskBuilder damaged;
  damaged.Name("DAMAGED");
  for (int track = 2; track < 80; ++track) {
    if (track == 3) continue;
    for (const SectorRecord& s : TrackSectors(track, 1, 5, 3, &second.track_image[track * 5120])) {
      damaged.AddSector(track, s);
    }
  }
  return Concatenate({first.ToDisk("FIRST").Build(), damaged.Build()});
}

// For the web page's test: a disk of each file system (a PC-98 FAT12 disk with a folder and a
// long name, N88-BASIC 2D, Hu-BASIC 2D with a Japanese name and a folder, F-BASIC), then a disk
// that no program reads.
Bytes WebFileSystems() {
  Fat12Image fat;
  fat.SetRoot(0, "README  TXT", 0x20, 2, 40);
  fat.SetRoot(1, "SUB        ", 0x10, 3, 0);
  fat.SetFat(2, 0xFFF);
  fat.SetFat(3, 0xFFF);
  memcpy(fat.Cluster(2), "A FAT12 disk made by make_d88.\r\n\x1a\x1a\x1a\x1a\x1a\x1a\x1a", 40);
  memcpy(fat.Cluster(3), "DEEP    BIN ", 12);
  fat.Cluster(3)[0x18] = 0x21;
  fat.Cluster(3)[0x1A] = 4;
  fat.Cluster(3)[0x1C] = 100;
  fat.SetFat(4, 0xFFF);
  const Bytes deep = PatternBytes(100, 11);
  memcpy(fat.Cluster(4), deep.data(), deep.size());
  BasicDisk n88(BasicDisk::kN88_2D);
  n88.AddFile("PROG", "BAS", 0x80, PatternBytes(900, 12));
  n88.AddFile("NOTE", "", 0x00, Text("N88-BASIC text\r\n\x1A"));
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("\x83\x51\x81\x5B\x83\x80", "BIN", 0x01, PatternBytes(5000, 13));  // ゲーム
  const int folder = hu.AddFolder("SAVE");
  hu.AddFile("SLOT1", "DAT", 0x01, PatternBytes(300, 14), {}, folder);
  BasicDisk f(BasicDisk::kFBasic);
  f.AddFile("DEMO", "", 0x82, Text("10 PRINT\r\n\x1A"));
  f.AddFile("CODE", "", 0x02, PatternBytes(2500, 15));
  DiskBuilder game;
  for (const SectorRecord& s : TrackSectors(0, 1, 16, 1, PatternBytes(4096, 16).data())) {
    game.AddSector(0, s);
  }
  return Concatenate({SectorsToDisk(fat.raw, {77, 2, 8, 3}).Name("MS-DOS").Media(0x20).Build(),
                      n88.ToDisk("N88").Build(), hu.ToDisk("X1").Build(), f.ToDisk("FM").Build(),
                      game.Name("GAME").Build()});
}

// The README's samples of two standard file systems. A PC-98 MS-DOS disk: a text file and a
// folder holding a program, dated.
Bytes SampleFat12() {
  Fat12Image fat;
  const std::string text = "A PC-98 MS-DOS disk, made by the project's image builder.\r\n";
  fat.SetRoot(0, "README  TXT", 0x20, 2, static_cast<int>(text.size()));
  fat.SetRoot(1, "GAMES      ", 0x10, 3, 0);
  fat.SetFat(2, 0xFFF);
  fat.SetFat(3, 0xFFF);
  memcpy(fat.Cluster(2), text.data(), text.size());
  uint8_t* game = fat.Cluster(3);
  memcpy(game, "START   EXE ", 12);
  game[0x16] = 0x00;  // 12:00
  game[0x17] = 0x60;
  game[0x18] = 0x8F;  // 1991-04-15
  game[0x19] = 0x16;
  game[0x1A] = 4;
  game[0x1C] = 0x00;
  game[0x1D] = 0x0C;  // 3072 bytes: clusters 4 to 6
  fat.SetFat(4, 5);
  fat.SetFat(5, 6);
  fat.SetFat(6, 0xFFF);
  const Bytes code = PatternBytes(3072, 21);
  memcpy(fat.Cluster(4), code.data(), code.size());
  for (int i : {0, 1}) {  // the root entries' date: 1991-04-15 12:00
    uint8_t* e = fat.Root(i);
    e[0x17] = 0x60;
    e[0x18] = 0x8F;
    e[0x19] = 0x16;
  }
  return SectorsToDisk(fat.raw, {77, 2, 8, 3}).Name("PC-98 SAMPLE").Media(0x20).Build();
}

// An X1 Hu-BASIC disk: a program with a Japanese name, a text file and a folder of saves.
DiskBuilder SampleHuBasicDisk() {
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("\x83\x51\x81\x5B\x83\x80", "BIN", 0x01, PatternBytes(5000, 22));  // ゲーム
  hu.AddFile("README", "TXT", 0x04,
             Text("An X1 Hu-BASIC disk, made by the project's image builder.\r\n\x1A"), {}, -1, 0);
  const int folder = hu.AddFolder("SAVE");
  hu.AddFile("SLOT1", "DAT", 0x01, PatternBytes(300, 23), {}, folder);
  return hu.ToDisk("X1 SAMPLE");
}

Bytes SampleHuBasic() { return SampleHuBasicDisk().Build(); }

// Seeds for the fuzz targets: both layouts, well-formed and in each malformed kind.
void WriteSeeds(const std::string& dir) {
  int n = 0;
  auto put = [&](const char* kind, const Bytes& bytes) {
    WriteFile(dir + "/" + std::to_string(n++) + "-" + kind, bytes);
  };
  DskcutLayout cut;
  cut.AddFile("A", "TXT", PatternBytes(300, 1));
  cut.AddFile("B", "", PatternBytes(5000, 2));
  cut.SetEntry(3, "FAR", "", 200, 255, 255, 0x80);
  cut.SetEntry(4, "../X", "/", 0, 0, 0, 0x80);
  cut.sector_base[5] = 0xC0;
  const Bytes cut_disk = cut.ToDisk("CUT", 8).Build();
  DskpullLayout pull;
  pull.AddFile("ABCD", PatternBytes(528, 3));
  pull.SetEntry(1, "LOW ", 3, 0, 10);
  pull.SetEntry(2, "TAIL", 79, 255, 65535);
  const Bytes pull_disk = pull.ToDisk("PULL", 6).Build();
  put("dskcut", cut_disk);
  put("dskcut-two-disks", Concatenate({cut_disk, cut_disk}));
  put("dskpull", pull_disk);
  put("truncated", Bytes(cut_disk.begin(), cut_disk.begin() + 3000));
  Bytes trailing = pull_disk;
  trailing.resize(trailing.size() + 100, 0xE5);
  put("trailing", trailing);
  put("short-header", Bytes(500, 0));
  SectorRecord odd;
  odd.c = 0;
  odd.h = 1;
  odd.r = 1;
  odd.n = 3;
  odd.data.assign(100, 0x41);
  odd.sector_count = 0;
  SectorRecord disagree = odd;
  disagree.r = 2;
  disagree.sector_count = 9;
  disagree.data_size = 2000;
  put("odd-sectors", DiskBuilder().AddSector(1, odd).AddSector(1, disagree).Build());
  put("disk-size-zero", DiskBuilder().DiskSize(0).Build());
  put("huge-offsets", DiskBuilder().DiskSize(0xFFFFFFF0u).TrackOffset(1, 0x80000000u).Build());
  put("long-walk", LongWalkDisk(4, 2, 0, 2000));
  put("long-walk-disks", LongWalkDisks(2, 1, 0, 2000));
  // The file systems, each with only the tracks that hold its structures and a few files.
  Fat12Image fat = Fat12Image::Small();
  fat.SetRoot(0, "README  TXT", 0x20, 2, 700, 0x18);
  fat.SetRoot(1, "SUB        ", 0x10, 3, 0);
  fat.SetFat(2, 4);
  fat.SetFat(3, 0xFFF);
  fat.SetFat(4, 0xFFF);
  memcpy(fat.Cluster(3), ".          \x10", 12);
  memcpy(fat.Cluster(3) + 32, "LOOP       \x10", 12);
  fat.Cluster(3)[32 + 0x1A] = 3;  // a folder that holds itself
  put("fat12", SectorsToDisk(fat.raw, {40, 1, 8, 2}).Build());
  BasicDisk hu(BasicDisk::kHu_2D);
  hu.AddFile("GAME", "BIN", 0x01, PatternBytes(5000, 4));
  const int folder = hu.AddFolder("SUB");
  hu.AddFile("TEXT", "ASC", 0x04, Text("10 REM\r\n\x1A"), {}, folder, 0);
  hu.SetTableEntry(3, 2);
  put("hu-basic", hu.ToDisk("HU", {0, 1, 2, 3, 4}).Build());
  BasicDisk n88(BasicDisk::kN88_2D);
  n88.AddFile("PROG", "BAS", 0x80, PatternBytes(3000, 5));
  n88.AddFile("TEXT", "", 0x00, Text("A\x1A"));
  put("n88-basic", n88.ToDisk("N88", {1, 2, 36, 37}).Build());
  BasicDisk f(BasicDisk::kFBasic);
  f.AddFile(std::string("AB\0C", 4), "", 0x82, Text("ascii\x1A"));
  f.AddFile("BIN", "", 0x02, PatternBytes(3000, 6));
  put("f-basic", f.ToDisk("FB", {2, 3, 4, 5}).Build());
  // Human68k: 68000 boot code over the parameter block, a name of 18 + 3 characters.
  Fat12Image x68k = Fat12Image::Small();
  x68k.raw[0] = 0x60;
  x68k.SetRoot(0, "LONGFILETXT", 0x20, 2, 5);
  memcpy(x68k.Root(0) + 0x0C, "NAME01", 6);
  x68k.SetFat(2, 0xFFF);
  put("human68k", SectorsToDisk(x68k.raw, {40, 1, 8, 2}).Build());
  // FAT12 without a parameter block: the FAT's media byte FDh names the 360 KB layout.
  Bytes lsx(720 * 512, 0);
  lsx[512] = 0xFD;
  lsx[513] = lsx[514] = 0xFF;
  memcpy(&lsx[5 * 512], "LD      BIN\x20", 12);
  put("fat12-media-byte", SectorsToDisk(lsx, {40, 2, 9, 2}).Build());
  // The other containers: a 2D dump, an FDI image, a few 2HD tracks in DIM and DCP, and a disk
  // with an interleaved FM track, a deleted sector and a CRC error in NFD and IMD.
  put("raw-2d", RawDump(hu.ToDisk("HU"), hu.Shape()));
  put("fdi", FdiImage(SectorsToDisk(fat.raw, {40, 1, 8, 2}), {40, 1, 8, 2}));
  Fat12Image dos;
  const DiskShape hd = {77, 2, 8, 3};
  const DiskBuilder dos_tracks = SectorsToDisk(dos.raw, hd, {0, 1});
  put("dim", DimImage(dos_tracks, 0x00, hd));
  put("dcp", DcpImage(dos_tracks, 0x01, hd, 161));
  DiskBuilder marked = hu.ToDisk("HU", {1, 2, 3});
  marked.ReplaceTrack(0, InterleavedFmTrack(16));
  marked.ReplaceTrack(2, WithMarks(marked.Tracks().at(2), 9));
  put("nfd-r0", NfdR0Image(marked));
  put("nfd-r1", NfdR1Image(marked));
  put("imd", ImdImage(marked, false));
  // CP/M (only the directory's and the last track) and MZ DISK BASIC (a whole 2D disk, as its
  // checks want most tracks present).
  CpmDisk cpm;
  cpm.AddFile(0, "WM", "COM", PatternBytes(3000, 7));
  cpm.AddFile(1, "U1", "DOC", PatternBytes(100, 8));
  put("cpm", cpm.ToDisk(true, {4, 5, 79}).Build());
  MzDisk mz(false);
  mz.AddFile(1, "ABCDEFGHIJKLMNOPQ", PatternBytes(700, 9));
  mz.AddFile(3, "DATA", PatternBytes(10, 10));
  put("mz-basic", mz.ToDisk().Build());
  // Seeds 26 and 27 are archives, made with tar and zip. Then FDD and DSK: the marked disk, and
  // a FAT12 disk's first two tracks.
  n = 28;
  put("fdd", FddImage(marked, "MARKED", false));
  put("edsk", DskImage(marked, true, 2, 2));
  put("dsk", DskImage(SectorsToDisk(fat.raw, {40, 1, 8, 2}, {0, 2}), false, 2, 1));
  put("td0", Td0Image(marked, false, 0, "a comment"));
  put("td0-advanced", Td0Image(marked, true, 2, ""));
}

int Usage() {
  fputs(
      "Usage: make_d88 sample-dskcut|sample-dskpull|sample-fat12|sample-hu-basic|\n"
      "                bench-dskcut|bench-dskpull|bench-small|\n"
      "                long-walk-dskcut|long-walk-dskpull|web-shift-jis|web-damaged|\n"
      "                web-file-systems|web-raw-2d|pc98-2hd-from-raw FILE\n"
      "       make_d88 seeds DIRECTORY\n",
      stderr);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  const std::string what = argv[1];
  const std::string out = argv[2];
  if (what == "seeds") {
    WriteSeeds(out);
  } else if (what == "sample-dskcut") {
    WriteFile(out, SampleDskcut());
  } else if (what == "sample-dskpull") {
    WriteFile(out, SampleDskpull());
  } else if (what == "sample-fat12") {
    WriteFile(out, SampleFat12());
  } else if (what == "sample-hu-basic") {
    WriteFile(out, SampleHuBasic());
  } else if (what == "bench-dskcut") {
    WriteFile(out, BenchDskcut(64));
  } else if (what == "bench-small") {
    WriteFile(out, BenchSmall());
  } else if (what == "bench-dskpull") {
    WriteFile(out, BenchDskpull());
  } else if (what == "web-shift-jis") {
    WriteFile(out, WebShiftJisNames());
  } else if (what == "web-damaged") {
    WriteFile(out, WebDamaged());
  } else if (what == "pc98-2hd-from-raw") {  // the raw sectors on standard input
    Bytes raw(77 * 2 * 8 * 1024);
    raw.resize(fread(raw.data(), 1, raw.size(), stdin));
    WriteFile(out, SectorsToDisk(raw, {77, 2, 8, 3}).Name("PC-98").Media(0x20).Build());
  } else if (what == "web-raw-2d") {  // the Hu-BASIC sample as a raw dump
    WriteFile(out, RawDump(SampleHuBasicDisk(), {40, 2, 16, 1}));
  } else if (what == "web-file-systems") {
    WriteFile(out, WebFileSystems());
  } else if (what == "long-walk-dskcut") {  // about 10 MB
    WriteFile(out, LongWalkDisks(2, 5, 3, 600000, EveryTrackDirectory16()));
  } else if (what == "long-walk-dskpull") {  // about 10 MB
    WriteFile(out, LongWalkDisk(4, 10, 2, 600000, EveryTrackDirectory8()));
  } else {
    return Usage();
  }
  return 0;
}
