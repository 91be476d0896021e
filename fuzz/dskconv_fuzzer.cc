// Fuzz target for dskconv's whole run: any bytes as the image, converted into the container the
// input's length chooses (with --lossy or without), written into a scratch directory.
#include "dskconv/dskconv.h"
#include "fuzz/fuzz_scratch.h"

namespace {

int Run(int argc, char** argv) {
  static DskconvState state;
  return RunDskconv(argc, argv, state);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kOptions[] = {"out.hdm", "--lossy", "-t", "imd", "--split"};
  RunProgramOnScratchImage(Run, "dskconv", kOptions, 5, data, size);
  return 0;
}
