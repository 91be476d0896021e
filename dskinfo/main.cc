// Entry point of dskinfo.
#include "dskinfo/dskinfo.h"

namespace {
DskinfoState state;  // about 400 KB: static, not on the stack
}  // namespace

int main(int argc, char** argv) { return RunDskinfo(argc, argv, state); }
