// Entry point of dskput.
#include "dskput/dskput.h"

namespace {
DskputState state;  // about 1.2 MB: static, not on the stack
}  // namespace

int main(int argc, char** argv) { return RunDskput(argc, argv, state); }
