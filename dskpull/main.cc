// Entry point of dskpull.
#include "dskpull/dskpull.h"

namespace {
DskpullBuffers buffers;  // zero at start
}  // namespace

int main(int argc, char** argv) { return RunDskpull(argc, argv, buffers); }
