// The programs' runs for the web page: each call runs dskcut or dskpull, exactly as their command
// lines do, on an image in the page's in-memory file system.
#include <emscripten.h>

#include <cstring>

#include "dskcut/dskcut.h"
#include "dskpull/dskpull.h"

namespace {

DskcutBuffers cut_buffers;
DskpullBuffers pull_buffers;

}  // namespace

// Runs dskcut (`program` 0) or dskpull (1) with the arguments in `arguments`, separated by NUL
// bytes and ending with an empty one (the image path first). Returns the exit status.
extern "C" EMSCRIPTEN_KEEPALIVE int RunProgram(int program, char* arguments) {
  char* argv[16] = {const_cast<char*>(program == 0 ? "dskcut" : "dskpull")};
  int argc = 1;
  for (char* word = arguments; *word != '\0' && argc < 15; word += strlen(word) + 1) {
    argv[argc++] = word;
  }
  argv[argc] = nullptr;
  if (program == 0) {
    memset(&cut_buffers, 0, sizeof cut_buffers);
    diskimage::D88Image* image = new diskimage::D88Image;  // a fresh image for every run
    const int status = RunDskcut(argc, argv, *image, cut_buffers);
    delete image;
    return status;
  }
  memset(&pull_buffers, 0, sizeof pull_buffers);
  return RunDskpull(argc, argv, pull_buffers);
}
