// Fuzz target for D88Image: catalogues any bytes as an image, once from a file and once from
// memory, selects every disk and reads every track's IDs and sectors with sector ranges and
// lengths taken from the input itself; both must give the same results, byte for byte, and the
// memory image's views of sectors must hold the bytes that reading them copies.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "diskimage/d88_image.h"
#include "fuzz/fuzz_scratch.h"

namespace {

using diskimage::D88Image;

// Runs the same call on both images and checks that the results agree.
template <typename Call>
int Both(D88Image& file, D88Image& memory, Call call) {
  const int from_file = call(file, 0);
  if (call(memory, 1) != from_file) FuzzFail("file and memory images disagree");
  return from_file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = WriteScratchImage(data, size);
  static D88Image file, memory;
  if (!file.Open(path)) FuzzFail("an image that was just written could not be opened");
  memory.OpenMemory(data, size);
  if (file.DiskCount() != memory.DiskCount() ||
      file.MoreDisksThanCatalogued() != memory.MoreDisksThanCatalogued()) {
    FuzzFail("file and memory catalogues disagree");
  }
  // Parameters from the input's first bytes, so that the fuzzer steers them too.
  uint8_t p[8] = {};
  memcpy(p, data, size < sizeof p ? size : sizeof p);
  static unsigned char buffers[2][80 * 5120 + 64];
  unsigned char ids[2][40];
  const auto same_bytes = [&](int count) {
    if (count > 0 && memcmp(buffers[0], buffers[1], static_cast<size_t>(count)) != 0) {
      FuzzFail("file and memory images read different bytes");
    }
  };
  // The first disks, then the last one and one past it: a 64-disk catalogue would otherwise
  // cost 64 times as much for little more coverage.
  const int count = file.DiskCount();
  for (int disk = -1; disk <= count; disk = (disk == 2 && count > 4) ? count - 1 : disk + 1) {
    Both(file, memory, [&](D88Image& image, int) { return image.SelectDisk(disk) ? 1 : 0; });
    if (strcmp(file.DiskName(), memory.DiskName()) != 0) FuzzFail("disk names disagree");
    for (D88Image* image : {&file, &memory}) image->SetSectorRange(p[0], p[1]);
    for (int track = -1; track <= D88Image::kTrackCount; ++track) {
      const int listed = Both(file, memory, [&](D88Image& image, int i) {
        return image.ReadTrackIds(track, ids[i], (p[2] % 11) * 4);
      });
      if (listed < 0 || listed > 40 || listed % 4 != 0) FuzzFail("bad ReadTrackIds count");
      if (memcmp(ids[0], ids[1], static_cast<size_t>(listed)) != 0) FuzzFail("IDs disagree");
      const int r = listed > 0 ? ids[0][2] : p[3];
      const int n = listed > 0 ? ids[0][3] : p[4] % 8;
      const int got = Both(file, memory, [&](D88Image& image, int i) {
        return image.ReadSector(track, track / 2, track % 2, r, n, buffers[i], p[5] * 64);
      });
      if (got < 0 || got > p[5] * 64) FuzzFail("bad ReadSector count");
      same_bytes(got);
    }
    const int total = (p[6] << 8 | p[7]) * 7;
    const int got = Both(file, memory, [&](D88Image& image, int i) {
      return image.ReadSectors(1, 0, 1, p[0], p[4] % 9, buffers[i], total % (80 * 5120));
    });
    if (got < 0 || got > total) FuzzFail("bad ReadSectors count");
    same_bytes(got);
    static diskimage::ImageSpan spans[80 * 5120 / 128 + 1];
    int span_count = 0;
    const int viewed = memory.ViewSectors(1, 0, 1, p[0], p[4] % 9, total % (80 * 5120), spans,
                                          sizeof spans / sizeof spans[0], span_count);
    if (viewed != got || file.ViewSectors(1, 0, 1, 1, 0, 1, spans, 1, span_count) != -1) {
      FuzzFail("ViewSectors disagrees with ReadSectors");
    }
    size_t at = 0;  // the spans end to end are the bytes copied, a short sector's included
    for (int i = 0; i < span_count; ++i) {
      if (memcmp(buffers[1] + at, spans[i].bytes, static_cast<size_t>(spans[i].size)) != 0) {
        FuzzFail("a sector's view holds other bytes than its copy");
      }
      at += static_cast<size_t>(spans[i].size);
    }
    if (at < static_cast<size_t>(got)) FuzzFail("views cover fewer bytes than were read");
  }
  file.Open(nullptr);
  memory.Open(nullptr);
  return 0;
}
