// The programs' runs for the web page: each call runs dskcut, dskpull, dskinfo or dskget, exactly
// as their command lines do, on an image in the page's in-memory file system.
#include <emscripten.h>

#include <cstring>

#include "dskcut/dskcut.h"
#include "dskget/dskget.h"
#include "dskinfo/dskinfo.h"
#include "dskpull/dskpull.h"

namespace {

DskcutBuffers cut_buffers;
DskpullBuffers pull_buffers;
DskinfoState info_state;
DskgetState get_state;

const char* const kProgramNames[] = {"dskcut", "dskpull", "dskinfo", "dskget"};

}  // namespace

// Runs dskcut (`program` 0), dskpull (1), dskinfo (2) or dskget (3) with the arguments in
// `arguments`, separated by NUL bytes and ending with an empty one (the image path first).
// Returns the exit status, or 1 for an unknown program.
extern "C" EMSCRIPTEN_KEEPALIVE int RunProgram(int program, char* arguments) {
  if (program < 0 || program > 3) return 1;
  char* argv[16] = {const_cast<char*>(kProgramNames[program])};
  int argc = 1;
  for (char* word = arguments; *word != '\0' && argc < 15; word += strlen(word) + 1) {
    argv[argc++] = word;
  }
  argv[argc] = nullptr;
  switch (program) {
    case 0: {
      memset(&cut_buffers, 0, sizeof cut_buffers);
      diskimage::D88Image* image = new diskimage::D88Image;  // a fresh image for every run
      const int status = RunDskcut(argc, argv, *image, cut_buffers);
      delete image;
      return status;
    }
    case 1:
      memset(&pull_buffers, 0, sizeof pull_buffers);
      return RunDskpull(argc, argv, pull_buffers);
    case 2:
      return RunDskinfo(argc, argv, info_state);
    default:
      return RunDskget(argc, argv, get_state);
  }
}
