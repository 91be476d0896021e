// A container writer's bytes gathered into few writes of a staged file.
#include "common/writing/staged_sink.h"

#include <cstring>

unsigned char StagedSink::buffer[size_t{1} << 16];

bool StagedSink::Write(const unsigned char* bytes, size_t size) {
  if (size > sizeof buffer - used) Flush();
  if (size > sizeof buffer) return WriteLasting(bytes, size);
  unsigned char* at = buffer + used;
  memcpy(at, bytes, size);
  used += size;
  if (count > 0 && pieces[count - 1].bytes + pieces[count - 1].size == at) {
    pieces[count - 1].size += size;
  } else {
    Add(at, size);
  }
  return error == 0;
}

bool StagedSink::WriteLasting(const unsigned char* bytes, size_t size) {
  Add(bytes, size);
  return error == 0;
}

int StagedSink::Flush() {
  if (error == 0 && count > 0) error = WriteStagedFile(file, pieces, count);
  used = 0;
  count = 0;
  return error;
}

void StagedSink::Add(const unsigned char* bytes, size_t size) {
  pieces[count++] = FilePiece{bytes, size};
  if (count == kPieces) Flush();
}
