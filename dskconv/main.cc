// Entry point of dskconv.
#include "dskconv/dskconv.h"

namespace {
DskconvState state;  // about 1.8 MB: static, not on the stack
}  // namespace

int main(int argc, char** argv) { return RunDskconv(argc, argv, state); }
