// Fuzz target for dskpull's whole run: any bytes as the image, extracted into a scratch directory.
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
  RunProgramOnScratchImage(RunFresh, "dskpull", nullptr, 0, data, size);
  return 0;
}
