// The containers a disk is written into (one row each), the dispatch to their writers, and the
// pieces the writers share.
#include "diskimage/container_writer.h"

#include <cstring>

#include "diskimage/containers/container_writers.h"

namespace diskimage {
namespace {

// Kind, name, grid, deleted marks, statuses, name length, write protection, sectors a track,
// largest size code, tracks, one size a track, one density a track, short data, cylinder FFh,
// a deleted mark without data, writer.
constexpr ContainerWriter kWriters[] = {
    {ContainerKind::kD88, "D88", false, true, KeptStatuses::kAll, 16, true, 255, 255, 164, false,
     false, true, true, true, WriteD88Disk},
    {ContainerKind::kRaw, "a raw dump", true, false, KeptStatuses::kNone, 0, false, 255, 7, 164,
     true, true, false, true, true, WriteRawImage},
    {ContainerKind::kFdi, "FDI", true, false, KeptStatuses::kNone, 0, false, 255, 7, 164, true,
     true, false, true, true, WriteFdiImage},
    {ContainerKind::kDim, "DIM", true, false, KeptStatuses::kNone, 0, false, 255, 7, 160, true,
     true, false, true, true, WriteDimImage},
    {ContainerKind::kNfd, "NFD", false, true, KeptStatuses::kBiosErrors, 128, true, 26, 7, 163,
     false, false, false, false, true, WriteNfdImage},
    {ContainerKind::kImd, "IMD", false, true, KeptStatuses::kDataErrors, 0, false, 255, 6, 164,
     true, true, false, true, false, WriteImdImage},
    {ContainerKind::kFdd, "FDD", false, true, KeptStatuses::kNone, 128, true, 26, 7, 160, false,
     false, false, false, true, WriteFddImage},
};

// A PC-98 BASIC 2HD disk's track 0: 26 FM sectors of 128 bytes, numbered 1..26.
bool BasicFmTrack0(const DiskMap& map) {
  if (map.SectorCount(0) != 26) return false;
  for (int i = 0; i < 26; ++i) {
    const SectorHeader& s = map.Sector(0, i);
    if (!s.Fm() || s.n != 0 || s.data_size != 128 || s.r != i + 1) return false;
  }
  return true;
}

}  // namespace

const ContainerWriter* FindContainerWriter(ContainerKind kind) {
  for (const ContainerWriter& writer : kWriters) {
    if (writer.kind == kind) return &writer;
  }
  return nullptr;
}

bool StatusKept(const ContainerWriter& target, const SectorHeader& sector) {
  const int s = sector.status;
  switch (target.statuses) {
    case KeptStatuses::kNone:
      return s == 0;
    case KeptStatuses::kDataErrors:
      return s == 0 || s == 0xB0 || s == 0xF0;
    case KeptStatuses::kBiosErrors:
      return s == 0 || s == 0xA0 || s == 0xB0 || s == 0xE0 || s == 0xF0;
    case KeptStatuses::kAll:
      return true;
  }
  return false;
}

bool SectorHeld(const ContainerWriter& target, const SectorHeader& sector) {
  return target.ff_cylinder || sector.c != 0xFF;
}

int HeldSectors(const ContainerWriter& target, const DiskMap& map, int track,
                const SectorHeader** held) {
  int count = 0;
  for (int i = 0; i < map.SectorCount(track) && count < target.max_sectors; ++i) {
    const SectorHeader& s = map.Sector(track, i);
    if (SectorHeld(target, s)) held[count++] = &s;
  }
  return count;
}

bool WrittenGrid(const ContainerWriter& target, const DiskMap& map, SectorGrid& grid) {
  const DiskGeometry g = map.Summarize();
  if (g.total_sectors == 0) return false;
  int size_code = 0;
  while (size_code < 7 && (128 << size_code) < g.sector_size) ++size_code;
  grid = SectorGrid{g.cylinders, g.heads, g.sectors_per_track, size_code, false};
  grid.fm_track0 = target.kind == ContainerKind::kRaw && g.fm_track0 && g.fm_tracks == 1 &&
                   g.sectors_per_track == 26 && size_code == 1 && BasicFmTrack0(map);
  return true;
}

int GridTrack(const SectorGrid& grid, int k) { return grid.heads == 2 ? k : 2 * k; }

bool WriteGridData(const DiskMap& map, const SectorGrid& grid, ByteSink& sink) {
  for (int k = 0; k < grid.cylinders * grid.heads; ++k) {
    const int track = GridTrack(grid, k);
    const int size = static_cast<int>(grid.TrackBytes(k) / grid.sectors);
    for (int r = 1; r <= grid.sectors; ++r) {
      const SectorHeader* sector = map.Find(track, r);
      const bool written =
          sector != nullptr ? WriteSectorData(map, *sector, size, sink) : WriteFill(sink, 0, size);
      if (!written) return false;
    }
  }
  return true;
}

bool WriteSectorData(const DiskMap& map, const SectorHeader& sector, int size, ByteSink& sink) {
  const int held = sector.data_size < size ? sector.data_size : size;
  if (const unsigned char* view = map.View(sector, 0, held)) {
    return sink.WriteLasting(view, static_cast<size_t>(held)) && WriteFill(sink, 0, size - held);
  }
  unsigned char chunk[4096];
  int done = 0;
  while (done < size) {
    const int want =
        size - done < static_cast<int>(sizeof chunk) ? size - done : static_cast<int>(sizeof chunk);
    const int got = map.ReadPart(sector, done, chunk, want);
    memset(chunk + got, 0, static_cast<size_t>(want - got));
    if (!sink.Write(chunk, static_cast<size_t>(want))) return false;
    done += want;
  }
  return true;
}

bool WriteFill(ByteSink& sink, unsigned char value, int64_t count) {
  unsigned char chunk[4096];
  memset(chunk, value, sizeof chunk);
  for (; count > 0; count -= static_cast<int64_t>(sizeof chunk)) {
    const size_t step =
        count < static_cast<int64_t>(sizeof chunk) ? static_cast<size_t>(count) : sizeof chunk;
    if (!sink.Write(chunk, step)) return false;
  }
  return true;
}

bool RepeatedByte(const DiskMap& map, const SectorHeader& sector, unsigned char& value) {
  unsigned char chunk[4096];
  int done = 0;
  for (;;) {
    const int got = map.ReadPart(sector, done, chunk, static_cast<int>(sizeof chunk));
    if (got <= 0) return done > 0 && done == sector.data_size;
    if (done == 0) value = chunk[0];
    for (int i = 0; i < got; ++i) {
      if (chunk[i] != value) return false;
    }
    done += got;
  }
}

bool WriteContainer(ContainerKind target, const DiskMap& map, const DiskFacts& facts,
                    ByteSink& sink) {
  const ContainerWriter* writer = FindContainerWriter(target);
  return writer != nullptr && writer->write(map, facts, sink);
}

}  // namespace diskimage
