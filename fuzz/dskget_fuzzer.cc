// Fuzz target for dskget's whole run: any bytes as the image, with the options chosen by the
// input's length (one folder, list only, raw names, the image read from standard input),
// extracted into a scratch directory.
#include "dskget/dskget.h"
#include "fuzz/fuzz_scratch.h"

namespace {

int Run(int argc, char** argv) {
  static DskgetState state;
  return RunDskget(argc, argv, state);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kOptions[] = {"-d", "-l", "-r"};
  RunProgramOnScratchImage(Run, "dskget", kOptions, 3, data, size);
  return 0;
}
