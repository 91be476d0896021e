// The terminal's width and the width of text on it.
#include "common/console/terminal.h"

#include "common/console/shift_jis_names.h"

#ifdef _WIN32
#include <windows.h>
#elif !defined(__EMSCRIPTEN__)
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int kDefaultColumns = 80;

// Reads the character at `at` (a byte that begins none: one column) and returns the columns it
// takes; `at` moves past it.
int NextColumns(const unsigned char*& at) {
  const int length = Utf8SequenceLength(at);
  if (length <= 1) {
    ++at;
    return 1;
  }
  unsigned code = at[0] & (0x7Fu >> length);
  for (int i = 1; i < length; ++i) code = (code << 6) | (at[i] & 0x3Fu);
  at += length;
  return code >= 0x1100 ? 2 : 1;
}

}  // namespace

int TerminalColumns(TerminalStream stream) {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info;
  const HANDLE handle =
      GetStdHandle(stream == kStandardOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (GetConsoleScreenBufferInfo(handle, &info) && info.srWindow.Right > info.srWindow.Left) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
#elif !defined(__EMSCRIPTEN__)
  winsize size = {};
  if (ioctl(stream == kStandardOutput ? STDOUT_FILENO : STDERR_FILENO, TIOCGWINSZ, &size) == 0 &&
      size.ws_col > 0) {
    return size.ws_col;
  }
#else
  (void)stream;
#endif
  return kDefaultColumns;
}

int TextColumns(const char* text) {
  int columns = 0;
  for (const unsigned char* at = reinterpret_cast<const unsigned char*>(text); *at != 0;) {
    columns += NextColumns(at);
  }
  return columns;
}

const char* TailFitting(const char* text, int columns) {
  int left = TextColumns(text);
  const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
  while (left > columns && *at != 0) left -= NextColumns(at);
  return reinterpret_cast<const char*>(at);
}
