// Fuzz target for dskcut's whole run: any bytes as the image, with the options chosen by the
// input's length (KOVA mode, no subdirectories, UTF-8 names, list only, the image read from
// standard input), extracted into a scratch directory.
#include <cstring>

#include "dskcut/dskcut.h"
#include "fuzz/fuzz_scratch.h"

namespace {

int RunFresh(int argc, char** argv) {
  static DskcutBuffers buffers;
  memset(&buffers, 0, sizeof buffers);
  diskimage::D88Image image;
  return RunDskcut(argc, argv, image, buffers);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kOptions[] = {"-2", "-d", "-u", "-l"};
  RunProgramOnScratchImage(RunFresh, "dskcut", kOptions, 4, data, size);
  return 0;
}
