// Fuzz target for D88Image: catalogues any bytes as an image, selects every disk and reads every
// track's IDs and sectors, with sector ranges and lengths taken from the input itself.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "diskimage/d88_image.h"
#include "fuzz/fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = WriteScratchImage(data, size);
  diskimage::D88Image image;
  if (!image.Open(path)) FuzzFail("an image that was just written could not be opened");
  // Parameters from the input's first bytes, so that the fuzzer steers them too.
  uint8_t p[8] = {};
  memcpy(p, data, size < sizeof p ? size : sizeof p);
  static unsigned char buffer[80 * 5120 + 64];
  unsigned char ids[40];
  // The first disks, then the last one and one past it: a 64-disk catalogue would otherwise
  // cost 64 times as much for little more coverage.
  const int count = image.DiskCount();
  for (int disk = -1; disk <= count; disk = (disk == 2 && count > 4) ? count - 1 : disk + 1) {
    image.SelectDisk(disk);
    (void)image.DiskName();
    image.SetSectorRange(p[0], p[1]);
    for (int track = -1; track <= diskimage::D88Image::kTrackCount; ++track) {
      const int listed = image.ReadTrackIds(track, ids, (p[2] % 11) * 4);
      if (listed < 0 || listed > 40 || listed % 4 != 0) FuzzFail("bad ReadTrackIds count");
      const int r = listed > 0 ? ids[2] : p[3];
      const int n = listed > 0 ? ids[3] : p[4] % 8;
      const int got = image.ReadSector(track, track / 2, track % 2, r, n, buffer, p[5] * 64);
      if (got < 0 || got > p[5] * 64) FuzzFail("bad ReadSector count");
    }
    const int total = (p[6] << 8 | p[7]) * 7;
    const int got = image.ReadSectors(1, 0, 1, p[0], p[4] % 9, buffer, total % (80 * 5120));
    if (got < 0 || got > total) FuzzFail("bad ReadSectors count");
  }
  image.Open(nullptr);
  return 0;
}
