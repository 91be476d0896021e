// Entry point of dskget.
#include "dskget/dskget.h"

namespace {
DskgetState state;  // about 400 KB: static, not on the stack
}  // namespace

int main(int argc, char** argv) { return RunDskget(argc, argv, state); }
