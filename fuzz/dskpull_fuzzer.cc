// Fuzz target for dskpull's whole run: any bytes as the image, with UTF-8 names, list-only mode
// and the image read from standard input chosen by the input's length, extracted into a scratch
// directory.
#include <cstring>

#include "dskpull/dskpull.h"
#include "fuzz/fuzz_scratch.h"

namespace {

int RunFresh(int argc, char** argv) {
  static DskpullBuffers buffers;
  memset(&buffers, 0, sizeof buffers);
  return RunDskpull(argc, argv, buffers);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kOptions[] = {"-u", "-l"};
  RunProgramOnScratchImage(RunFresh, "dskpull", kOptions, 2, data, size);
  return 0;
}
