// dskcut's command line and its loop over the disks of an image.
#include "dskcut/dskcut.h"

#include <cstdio>
#include <cstring>

#include "dskcut/working_directory.h"
#include "extraction/open_image.h"
#include "extraction/prefault.h"
#include "extraction/program_messages.h"

namespace {

// "       -d : " then Shift-JIS "サブディレクトリを作成しな" (no subdirectories).
const char kHelpNoSubdirectories[] =
    "       -d : \x83\x54\x83\x75\x83\x66\x83\x42\x83\x8c\x83\x4e\x83\x67\x83\x8a\x82\xf0\x8d\xec"
    "\x90\xac\x82\xb5\x82\xc8\n";
// "       -2 : KOVA" then Shift-JIS "切り出しモードにする" (KOVA extraction mode).
const char kHelpKovaMode[] =
    "       -2 : KOVA\x90\xd8\x82\xe8\x8f\x6f\x82\xb5\x83\x82\x81\x5b\x83\x68\x82\xc9\x82\xb7\x82"
    "\xe9\n";

}  // namespace

int RunDskcut(int argc, char** argv, diskimage::D88Image& image, DskcutBuffers& buffers) {
  if (argc < 2) {
    fprintf(stderr, "Usage: %s [d88file] (-d)\n", argc > 0 && argv[0] ? argv[0] : "dskcut");
    fputs(kHelpNoSubdirectories, stderr);
    fputs(kHelpKovaMode, stderr);
    return kExitFailure;
  }
  bool subdirectories = true;
  bool kova_mode = false;
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "-d") == 0) subdirectories = false;
    if (strcmp(argv[i], "-2") == 0) kova_mode = true;
  }
  ExtractionRun run("dskcut");
  if (!OpenImage(run, argv[1], image, true)) return kExitFailure;

  Prefault(&buffers, sizeof buffers);
  Prefault(&image, sizeof image);

  StartingDirectory start;
  for (int i = 0; i < image.DiskCount(); ++i) {
    image.SelectDisk(i);
    if (subdirectories) {
      char directory[12];  // "000" to "063"; room for any int
      snprintf(directory, sizeof directory, "%03d", i);
      int error = start.Save();
      if (error == 0) error = StartingDirectory::Enter(directory);
      if (error != 0) {
        run.diagnostics.Report(directory, "cannot create or enter the directory: %s; disk skipped",
                               strerror(error));
        continue;
      }
      printf("\n[%s] -> %s\n", image.DiskName(), directory);
      ExtractDisk(image, i, kova_mode, buffers, run);
      error = start.Return();
      if (error != 0) {
        run.diagnostics.Report(
            directory, "cannot return to the starting directory: %s; run stopped", strerror(error));
        break;
      }
    } else {
      printf("\n[%s]\n", image.DiskName());
      ExtractDisk(image, i, kova_mode, buffers, run);
    }
  }
  return FinishRun(run.diagnostics);
}
