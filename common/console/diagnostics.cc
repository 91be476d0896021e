// Diagnostic lines on standard error.
#include "common/console/diagnostics.h"

#include <cstdio>

#include "common/console/output.h"
#include "common/console/terminal.h"

void Diagnostics::WriteLine(const char* name, const char* format, va_list args) {
  char line[1024];
  const bool both = prefix != nullptr && name != nullptr;
  int length = snprintf(line, sizeof line, "%s: %s%s%s: ", program, prefix != nullptr ? prefix : "",
                        both ? ": " : "", name != nullptr ? name : "");
  if (length >= 0 && length < static_cast<int>(sizeof line)) {
    vsnprintf(line + length, sizeof line - static_cast<size_t>(length), format, args);
  }
  // Standard error is unbuffered: the line goes out in one write.
  char shown[4 * sizeof line + 1];
  size_t out = 0;
  for (const char* c = line; *c != '\0'; ++c) {
    const unsigned char byte = static_cast<unsigned char>(*c);
    if (byte < 0x20 || byte == 0x7F) {
      out += static_cast<size_t>(snprintf(shown + out, 5, "\\x%02x", byte));
    } else {
      shown[out++] = static_cast<char>(byte);
    }
  }
  shown[out++] = '\n';
  ErrWrite(shown, out);
}

void Diagnostics::ShowProgress(const char* head, const char* tail) {
  // The last column stays free: a terminal that wraps there would leave the line behind.
  const int room = TerminalColumns(kStandardError) - 1 - TextColumns(head);
  const char* shown_tail = TailFitting(tail, room);
  const char* cut = "";
  if (shown_tail != tail) {
    cut = "...";
    shown_tail = TailFitting(tail, room - 3);
  }
  char line[1024];
  const int length = snprintf(line, sizeof line, "%s%s%s", room > 3 ? head : "",
                              room > 3 ? cut : "", room > 3 ? shown_tail : "");
  if (length >= 0) {
    ErrProgress(line, static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length)
                                                                : sizeof line - 1);
  }
}

void Diagnostics::Report(const char* name, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLine(name, format, args);
  va_end(args);
  if (count == reason_at) {
    va_start(args, format);
    vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
  }
  ++count;
}

void Diagnostics::Warn(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLine("warning", format, args);
  va_end(args);
}

void Diagnostics::Note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLine("note", format, args);
  va_end(args);
}
