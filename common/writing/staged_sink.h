// A container writer's bytes, gathered for a staged file: copied into 64 KiB, or kept where they
// lie for bytes that last (the source image's own), and written up to 64 pieces at a time.
#ifndef COMMON_WRITING_STAGED_SINK_H_
#define COMMON_WRITING_STAGED_SINK_H_

#include <cstddef>

#include "common/writing/save_file.h"
#include "diskimage/container_writer.h"

// One at a time: the 64 KiB it copies into are static.
class StagedSink final : public diskimage::ByteSink {
 public:
  explicit StagedSink(StagedFile& file) : file(file) {}

  bool Write(const unsigned char* bytes, size_t size) override;
  bool WriteLasting(const unsigned char* bytes, size_t size) override;

  // Writes what is gathered; returns 0 or the errno value of the first failure.
  int Flush();

 private:
  void Add(const unsigned char* bytes, size_t size);

  static constexpr int kPieces = 64;
  StagedFile& file;
  static unsigned char buffer[size_t{1} << 16];
  FilePiece pieces[kPieces];
  int count = 0;
  size_t used = 0;
  int error = 0;
};

#endif  // COMMON_WRITING_STAGED_SINK_H_
