// Entry point of dskput. On Windows the arguments are taken from the wide command line and given
// to the run in UTF-8, so that host paths of any language reach the disk's names.
#include "dskput/dskput.h"

#ifdef _WIN32
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on
#endif

namespace {
DskputState state;  // about 2.3 MB: static, not on the stack
}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The arguments in UTF-8, in 64 KiB (more than a Windows command line holds).
  static char utf8[1 << 16];
  static char* converted[1 << 12];
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr && count > 0 && count < (1 << 12)) {
    size_t used = 0;
    bool whole = true;
    for (int i = 0; i < count && whole; ++i) {
      const int length =
          WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8 + used,
                              static_cast<int>(sizeof utf8 - used), nullptr, nullptr);
      whole = length > 0;
      converted[i] = utf8 + used;
      used += static_cast<size_t>(length > 0 ? length : 0);
    }
    if (whole) {
      converted[count] = nullptr;
      argc = count;
      argv = converted;
    }
  }
  LocalFree(wide);
#endif
  return RunDskput(argc, argv, state);
}
