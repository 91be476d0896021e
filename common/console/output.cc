// Output to the streams or to the thread's sink.
#include "common/console/output.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

thread_local OutputSink* thread_sink = nullptr;
bool progress_shown = false;  // standard error's last line is a progress line

}  // namespace

void WriteToStreams(OutputStream stream, const char* bytes, size_t size) {
  if (stream != OutputStream::kStandardOutput) fflush(stdout);
  if (stream == OutputStream::kStandardOutput) fwrite(bytes, 1, size, stdout);
  if (stream == OutputStream::kStandardOutput || stream == OutputStream::kFlush) return;
  if (progress_shown || stream == OutputStream::kProgress) fputs("\r\033[K", stderr);
  fwrite(bytes, 1, size, stderr);
  progress_shown = stream == OutputStream::kProgress;
  if (progress_shown) fflush(stderr);
}

void SetThreadOutput(OutputSink* sink) { thread_sink = sink; }

namespace {

// To the thread's sink, or to the streams.
void Send(OutputStream stream, const char* bytes, size_t size) {
  if (thread_sink != nullptr) {
    thread_sink->Write(stream, bytes, size);
  } else {
    WriteToStreams(stream, bytes, size);
  }
}

}  // namespace

void OutWrite(const void* bytes, size_t size) {
  Send(OutputStream::kStandardOutput, static_cast<const char*>(bytes), size);
}

void OutText(const char* text) { OutWrite(text, strlen(text)); }

void OutChar(char c) { OutWrite(&c, 1); }

int OutPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int length;
  if (thread_sink == nullptr) {
    length = vfprintf(stdout, format, args);
  } else {
    // Most lines fit the stack; a longer one is formatted again into memory of its size.
    char line[1024];
    va_list again;
    va_copy(again, args);
    length = vsnprintf(line, sizeof line, format, args);
    if (length >= 0 && static_cast<size_t>(length) < sizeof line) {
      thread_sink->Write(OutputStream::kStandardOutput, line, static_cast<size_t>(length));
    } else if (length >= 0) {
      char* longer = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
      if (longer == nullptr) {
        length = -1;
      } else {
        vsnprintf(longer, static_cast<size_t>(length) + 1, format, again);
        thread_sink->Write(OutputStream::kStandardOutput, longer, static_cast<size_t>(length));
        free(longer);
      }
    }
    va_end(again);
  }
  va_end(args);
  return length;
}

void OutFlush() { Send(OutputStream::kFlush, nullptr, 0); }

void ErrWrite(const char* bytes, size_t size) { Send(OutputStream::kStandardError, bytes, size); }

void ErrProgress(const char* bytes, size_t size) { Send(OutputStream::kProgress, bytes, size); }
