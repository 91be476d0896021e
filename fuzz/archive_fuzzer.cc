// Fuzz target for the walk of archives: any bytes as an archive named on dskget's or dskinfo's
// command line, each image found read and extracted or catalogued (which program, and its
// options, chosen by the input's length).
#include "dskget/dskget.h"
#include "dskinfo/dskinfo.h"
#include "fuzz/fuzz_scratch.h"

namespace {

int RunGet(int argc, char** argv) {
  static DskgetState state;
  return RunDskget(argc, argv, state);
}

int RunInfo(int argc, char** argv) {
  static DskinfoState state;
  return RunDskinfo(argc, argv, state);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetScratchImageName("pack.tar");
  if ((size & 8) != 0) {
    static const char* const kOptions[] = {"--files", "--dat"};
    RunProgramOnScratchImage(RunInfo, "dskinfo", kOptions, 2, data, size);
  } else {
    static const char* const kOptions[] = {"-l", "-r"};
    RunProgramOnScratchImage(RunGet, "dskget", kOptions, 2, data, size);
  }
  return 0;
}
