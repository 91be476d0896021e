// DIM images: a 256-byte header (media type, a flag per track index, "DIFC HEADER"), then the
// stored tracks in track-index order, each as a raw dump stores it.
#include <cstdio>
#include <cstring>

#include "diskimage/containers/container_readers.h"

namespace diskimage {
namespace {

constexpr size_t kHeaderSize = 0x100;
constexpr int kTrackFlags = 160;  // bytes 0x01..0xA0
constexpr char kSignature[] = "DIFC HEADER";

// The geometry of a media type, or false for a type no document describes.
bool DimGrid(int type, SectorGrid& grid) {
  switch (type) {
    case 0x00:  // 2HD
      grid = {77, 2, 8, 3, false};
      return true;
    case 0x01:  // 2HS: its sector numbers run 10-18 on the disk; here, as stored, 1-9
    case 0x03:  // 2HDE
      grid = {80, 2, 9, 3, false};
      return true;
    case 0x02:  // 2HC
      grid = {80, 2, 15, 2, false};
      return true;
    case 0x09:  // 2HQ
      grid = {80, 2, 18, 2, false};
      return true;
    default:
      return false;
  }
}

}  // namespace

bool ReadDimImage(const unsigned char* bytes, size_t size, SectorTable& table,
                  ContainerRead& read) {
  if (size < kHeaderSize || memcmp(bytes + 0xAB, kSignature, sizeof kSignature - 1) != 0) {
    return false;
  }
  table.Reset(bytes, size);
  read = ContainerRead{0x20, false, "", "", ""};
  const int type = bytes[0];
  SectorGrid grid;
  if (!DimGrid(type, grid)) {
    snprintf(read.refusal, sizeof read.refusal,
             "a DIM image of media type %02Xh, which no description of the format gives", type);
    return true;
  }
  int stored = 0;
  for (int track = 0; track < kTrackFlags; ++track) stored += bytes[1 + track] != 0;
  // A writer is known to have given 2HS images the 2HC type: their size says which they are.
  const int64_t data_size = static_cast<int64_t>(size - kHeaderSize);
  if (type == 0x02 && data_size != stored * grid.TrackBytes(1) &&
      data_size == int64_t{stored} * 9216) {
    DimGrid(0x01, grid);
  }
  grid.cylinders = kTrackFlags / 2;  // flags past the type's cylinders occur
  int64_t offset = static_cast<int64_t>(kHeaderSize);
  int lost = 0;
  for (int track = 0; track < kTrackFlags; ++track) {
    if (bytes[1 + track] == 0) continue;
    if (offset + grid.TrackBytes(track) > static_cast<int64_t>(size)) ++lost;
    offset = AddGridTrack(table, grid, track, offset, size);
  }
  if (lost > 0) {
    snprintf(read.problem, sizeof read.problem,
             "the image ends %lld bytes before its last stored track's end (%d track%s cut or "
             "missing)",
             static_cast<long long>(offset - static_cast<int64_t>(size)), lost,
             lost == 1 ? "" : "s");
  }
  return true;
}

}  // namespace diskimage
