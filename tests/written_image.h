// A disk written into a container by the library's writers, as bytes in memory.
#ifndef TESTS_WRITTEN_IMAGE_H_
#define TESTS_WRITTEN_IMAGE_H_

#include "diskimage/container_writer.h"
#include "tests/d88_builder.h"

// Collects what a writer writes.
class BytesSink final : public diskimage::ByteSink {
 public:
  bool Write(const unsigned char* bytes, size_t size) override {
    out.insert(out.end(), bytes, bytes + size);
    return true;
  }
  Bytes out;
};

// The disk `map` holds written as `kind`; empty when the writer refuses.
inline Bytes Written(diskimage::ContainerKind kind, const diskimage::DiskMap& map,
                     const diskimage::DiskFacts& facts) {
  BytesSink sink;
  if (!diskimage::WriteContainer(kind, map, facts, sink)) return {};
  return sink.out;
}

#endif  // TESTS_WRITTEN_IMAGE_H_
