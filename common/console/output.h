// Where a program's listing and diagnostics go: straight to standard output and standard error,
// or, on a thread that reads one image of a collection for a run over many, to a sink that keeps
// them until the images before it have been written, so that the run writes what one thread would.
#ifndef COMMON_CONSOLE_OUTPUT_H_
#define COMMON_CONSOLE_OUTPUT_H_

#include <cstddef>

#include "common/console/diagnostics.h"

// kProgress: a progress line for standard error (a terminal), which the next write to standard
// error erases first.
enum class OutputStream { kFlush, kStandardOutput, kStandardError, kProgress };

// What a thread's output goes to instead of the streams.
class OutputSink {
 public:
  // Takes `size` bytes for `stream` (none for kFlush: standard output is to be flushed there).
  virtual void Write(OutputStream stream, const char* bytes, size_t size) = 0;

 protected:
  ~OutputSink() = default;
};

// Writes to the streams themselves, whatever the thread's sink: standard error after standard
// output is flushed, and after the progress line shown last is erased; kFlush flushes standard
// output. One thread at a time.
void WriteToStreams(OutputStream stream, const char* bytes, size_t size);

// Sends this thread's later output to `sink`; nullptr: to the streams.
void SetThreadOutput(OutputSink* sink);

// Writes to standard output, or to the thread's sink.
void OutWrite(const void* bytes, size_t size);
void OutText(const char* text);
void OutChar(char c);
// Returns the bytes written, as printf does (negative for a format error).
int OutPrintf(const char* format, ...) COMMON_PRINTF_FORMAT(1, 2);
// Flushes standard output (so that a reader of a pipe gets what is done), or asks the sink to.
void OutFlush();

// Writes `size` bytes, whole lines, to standard error, standard output flushed first; or to the
// thread's sink.
void ErrWrite(const char* bytes, size_t size);

// Shows `size` bytes (no line feed) as the progress line on standard error, replacing the one
// shown before; or sends them to the thread's sink.
void ErrProgress(const char* bytes, size_t size);

#endif  // COMMON_CONSOLE_OUTPUT_H_
