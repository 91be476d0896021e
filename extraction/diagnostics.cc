// Diagnostic lines on standard error.
#include "extraction/diagnostics.h"

#include <cstdarg>
#include <cstdio>

void Diagnostics::Report(const char* name, const char* format, ...) {
  fflush(stdout);
  fprintf(stderr, "%s: %s: ", program, name);
  va_list args;
  va_start(args, format);
  vfprintf(stderr, format, args);
  va_end(args);
  fputc('\n', stderr);
  ++count;
}
