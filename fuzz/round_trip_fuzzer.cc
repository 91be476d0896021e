// Fuzz target for the container writers: any bytes an image reader accepts, each of its first two
// disks written into every container FindContainerLosses says holds it whole, must read back as
// that container to the same sectors; and writing what a container cannot hold whole never fails
// but for a shape it has no layout for.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "diskimage/container_writer.h"
#include "diskimage/disk_image.h"
#include "fuzz/fuzz_scratch.h"

namespace {

using namespace diskimage;

// The most bytes one written image keeps; a larger one (compressed sectors expanded) is written
// but not read back.
constexpr size_t kMaxWritten = size_t{64} << 20;

class MemorySink final : public ByteSink {
 public:
  bool Write(const unsigned char* bytes, size_t size) override {
    if (size > kMaxWritten - used) {
      overflow = true;
      return true;
    }
    memcpy(buffer + used, bytes, size);
    used += size;
    return true;
  }
  static unsigned char* buffer;
  size_t used = 0;
  bool overflow = false;
};
unsigned char* MemorySink::buffer = static_cast<unsigned char*>(malloc(kMaxWritten));

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static DiskImage source, copy;
  static DiskMap map, copy_map;
  source.OpenMemory(data, size);
  for (int disk = 0; disk < source.DiskCount() && disk < 2; ++disk) {
    source.SelectDisk(disk);
    map.Load(source.Disk());
    const DiskFacts facts = {source.DiskName(), source.WriteProtected(), source.MediaType(), 0};
    for (ContainerKind kind : kWritableContainers) {
      const bool whole = FindContainerLosses(kind, map, facts, nullptr, 0) == 0;
      MemorySink sink;
      if (!WriteContainer(kind, map, facts, sink)) {
        if (whole) FuzzFail("a disk held whole that the writer refuses");
        continue;
      }
      if (!whole || sink.overflow) continue;
      copy.OpenMemory(MemorySink::buffer, sink.used);
      if (copy.Container() != kind || copy.DiskCount() != 1) {
        FuzzFail("an image written that reads back as another container");
      }
      copy.SelectDisk(0);
      copy_map.Load(copy.Disk());
      char difference[200];
      if (!SameSectors(kind, map, copy_map, true, difference, sizeof difference)) {
        FuzzFail(difference);
      }
      copy.OpenMemory(nullptr, 0);
    }
  }
  return 0;
}
