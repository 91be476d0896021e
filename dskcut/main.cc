// Entry point of dskcut.
#include "dskcut/dskcut.h"

namespace {
diskimage::D88Image image;  // closes the image when the process ends
DskcutBuffers buffers;      // zero at start
}  // namespace

int main(int argc, char** argv) { return RunDskcut(argc, argv, image, buffers); }
