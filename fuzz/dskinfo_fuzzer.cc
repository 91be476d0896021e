// Fuzz target for dskinfo's whole run: any bytes as the image, as text or JSON, with or without
// --files (each disk's files and content hash; chosen by the input's length), the image read from
// a file or from standard input.
#include "dskinfo/dskinfo.h"
#include "fuzz/fuzz_scratch.h"

namespace {

int Run(int argc, char** argv) {
  static DskinfoState state;
  return RunDskinfo(argc, argv, state);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kOptions[] = {"--json", "--files"};
  RunProgramOnScratchImage(Run, "dskinfo", kOptions, 2, data, size);
  return 0;
}
