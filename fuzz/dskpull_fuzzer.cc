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
  const char* options[2];
  int option_count = 0;
  for (int bit = 0; bit < 2; ++bit) {
    if ((size >> bit) & 1) options[option_count++] = kOptions[bit];
  }
  RunProgramOnScratchImage(RunFresh, "dskpull", options, option_count, data, size,
                           ((size >> 2) & 1) != 0);
  return 0;
}
