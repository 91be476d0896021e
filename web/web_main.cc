// The programs' runs for the web page: each call runs dskcut, dskpull, dskinfo, dskget, dskconv or
// dskput, exactly as their command lines do, on an image in the page's in-memory file system.
#include <emscripten.h>

#include <cstring>

#include "dskconv/dskconv.h"
#include "dskcut/dskcut.h"
#include "dskget/dskget.h"
#include "dskinfo/dskinfo.h"
#include "dskpull/dskpull.h"
#include "dskput/dskput.h"

namespace {

DskcutBuffers cut_buffers;
DskpullBuffers pull_buffers;
DskinfoState info_state;
DskgetState get_state;
DskconvState conv_state;
DskputState put_state;

const char* const kProgramNames[] = {"dskcut", "dskpull", "dskinfo", "dskget", "dskconv", "dskput"};

}  // namespace

// Runs dskcut (`program` 0), dskpull (1), dskinfo (2), dskget (3), dskconv (4) or dskput (5) with
// the arguments in `arguments`, separated by NUL bytes and ending with an empty one (a collection's
// paths among them: up to 4,094 arguments, the rest left out). Returns the exit status, or 1 for
// an unknown program.
extern "C" EMSCRIPTEN_KEEPALIVE int RunProgram(int program, char* arguments) {
  if (program < 0 || program > 5) return 1;
  static char* argv[4096];
  argv[0] = const_cast<char*>(kProgramNames[program]);
  int argc = 1;
  for (char* word = arguments; *word != '\0' && argc < 4095; word += strlen(word) + 1) {
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
    case 3:
      return RunDskget(argc, argv, get_state);
    case 4:
      return RunDskconv(argc, argv, conv_state);
    default:
      return RunDskput(argc, argv, put_state);
  }
}
