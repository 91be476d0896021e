// What each container would lose of a disk: its capabilities, then the disk's tracks and sectors
// checked against them.
#include "diskimage/container_fit.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace diskimage {
namespace {

// What a container records of a disk.
struct Capabilities {
  ContainerKind kind;
  const char* name;
  bool grid;  // data only: every track one grid of sectors numbered 1..n
  bool deleted_marks;
  bool read_errors;  // B0h (data CRC) at least; all statuses where `all_errors`
  bool all_errors;
  int name_length;  // the longest disk name kept; 0 for none
  bool write_protect;
  int max_sectors;  // a track's
  int max_size_code;
  int tracks;  // track indexes it has room for
  bool one_size_a_track;
  bool one_density_a_track;
  bool short_data;  // a sector's data may be shorter than its size code says
};

constexpr Capabilities kCapabilities[] = {
    {ContainerKind::kD88, "D88", false, true, true, true, 16, true, 255, 7, 164, false, false,
     true},
    {ContainerKind::kRaw, "a raw dump", true, false, false, false, 0, false, 255, 7, 164, true,
     true, false},
    {ContainerKind::kFdi, "FDI", true, false, false, false, 0, false, 255, 7, 164, true, true,
     false},
    {ContainerKind::kDim, "DIM", true, false, false, false, 0, false, 255, 7, 164, true, true,
     false},
    {ContainerKind::kNfd, "NFD", false, true, true, true, 128, true, 26, 7, 163, false, false,
     false},
    {ContainerKind::kImd, "IMD", false, true, true, false, 0, false, 255, 6, 164, true, true,
     false},
    {ContainerKind::kFdd, "FDD", false, true, false, false, 128, true, 26, 7, 160, false, false,
     false},
};

// The losses found, the first `max` of them written.
class Losses {
 public:
  Losses(const Capabilities& target, ContainerLoss* out, int max)
      : target(target), out(out), max(max) {}

  // Adds "TEXT; TARGET cannot hold it".
  void Add(const char* format, ...) {
    if (found < max) {
      char what[128];
      va_list args;
      va_start(args, format);
      vsnprintf(what, sizeof what, format, args);
      va_end(args);
      snprintf(out[found].text, sizeof out[found].text, "%s; %s cannot hold it", what, target.name);
    }
    ++found;
  }
  int Found() const { return found; }
  // True once as many are found as asked for (one, when none are asked for): the rest need not
  // be looked for.
  bool Enough() const { return found >= (max > 0 ? max : 1); }

 private:
  const Capabilities& target;
  ContainerLoss* out;
  int max;
  int found = 0;
};

int SizeCodeOf(int bytes) {
  for (int code = 0; code < 8; ++code) {
    if (bytes == 128 << code) return code;
  }
  return -1;
}

// Whether the grid `map` forms (every sector its own ID, in order) is one `target` has a code
// for; says why not.
void CheckGridGeometry(const Capabilities& target, const DiskMap& map, const DiskGeometry& g,
                       int size_code, bool fm_track0, Losses& losses) {
  const SectorGrid grid = {g.cylinders, g.heads, g.sectors_per_track, size_code, fm_track0};
  if (target.kind == ContainerKind::kRaw) {
    // The dump's first two sectors decide between the geometries of one size, as a reader
    // decides.
    unsigned char head[2048] = {};
    const SectorNumbering numbering = {128 << size_code, g.sectors_per_track, g.heads, 1,
                                       g.heads == 1 ? 2 : 1};
    const int first = fm_track0 || size_code > 3 ? 0 : 128 << size_code;
    for (int s = 0; s < 2 && first > 0 && s * first < 1024; ++s) {
      ReadLogicalSector(map, numbering, s, head + s * first);
    }
    SectorGrid read;
    if (!RawDumpGrid(head, static_cast<size_t>(grid.DiskBytes()), read)) {
      losses.Add("no raw dump is %d x %d x %d x %d bytes", g.cylinders, g.heads,
                 g.sectors_per_track, 128 << size_code);
    } else if (read.cylinders != grid.cylinders || read.heads != grid.heads ||
               read.sectors != grid.sectors || read.size_code != grid.size_code ||
               read.fm_track0 != grid.fm_track0) {
      losses.Add("a raw dump of %lld bytes is read as %d x %d x %d x %d bytes",
                 static_cast<long long>(grid.DiskBytes()), read.cylinders, read.heads, read.sectors,
                 128 << read.size_code);
    }
  } else if (target.kind == ContainerKind::kDim) {
    const bool coded =
        g.heads == 2 && ((g.cylinders == 77 && g.sectors_per_track == 8 && size_code == 3) ||
                         (g.cylinders == 80 && g.sectors_per_track == 9 && size_code == 3) ||
                         (g.cylinders == 80 && g.sectors_per_track == 15 && size_code == 2) ||
                         (g.cylinders == 80 && g.sectors_per_track == 18 && size_code == 2));
    if (!coded) {
      losses.Add("DIM has no media type for %d x %d x %d x %d bytes", g.cylinders, g.heads,
                 g.sectors_per_track, 128 << size_code);
    }
  }
}

// Whether the disk is a grid: every track present, each of `sectors` sectors of one size numbered
// 1..n in stored order with the track's own cylinder and head, MFM (but a raw dump's FM track 0).
void CheckGrid(const Capabilities& target, const DiskMap& map, const DiskGeometry& g,
               Losses& losses) {
  const int size_code = SizeCodeOf(g.sector_size);
  // A PC-98 BASIC 2HD disk: track 0 of 26 FM sectors of 128 bytes (a raw dump's 1,021,696 bytes).
  bool fm_track0 = target.kind == ContainerKind::kRaw && g.fm_track0 && g.fm_tracks == 1 &&
                   map.SectorCount(0) == 26 && g.sectors_per_track == 26 && size_code == 1;
  for (int i = 0; fm_track0 && i < map.SectorCount(0); ++i) {
    const SectorHeader& s = map.Sector(0, i);
    fm_track0 = s.Fm() && s.n == 0 && s.data_size == 128 && s.r == i + 1;
  }
  bool said_missing = false, said_count = false, said_ids = false, said_fm = false;
  for (int track = 0; track < SectorSource::kTrackCount && !losses.Enough(); ++track) {
    const bool expected = track < 2 * g.cylinders && (g.heads == 2 || track % 2 == 0);
    if (!map.TrackPresent(track)) {
      if (expected && !said_missing) losses.Add("track %d is not stored", track);
      said_missing = said_missing || expected;
      continue;
    }
    const int count = map.SectorCount(track);
    if (count != g.sectors_per_track && !said_count) {
      losses.Add("track %d holds %d sectors, not %d", track, count, g.sectors_per_track);
      said_count = true;
      continue;
    }
    for (int i = 0; i < count; ++i) {
      const SectorHeader& s = map.Sector(track, i);
      if (track == 0 && fm_track0) continue;
      if (s.Fm() && !said_fm) {
        losses.Add("track %d holds FM sectors", track);
        said_fm = true;
      }
      if ((s.r != i + 1 || s.c != track / 2 || s.h != track % 2 || s.n != size_code) && !said_ids) {
        losses.Add("track %d's sector IDs are not 1 to %d in order, of its cylinder and head",
                   track, count);
        said_ids = true;
      }
    }
  }
  if (size_code < 0) {
    losses.Add("its sectors are of %d bytes", g.sector_size);
  } else if (!said_missing && !said_count && !said_ids && !said_fm && !losses.Enough()) {
    CheckGridGeometry(target, map, g, size_code, fm_track0, losses);
  }
}

}  // namespace

int FindContainerLosses(ContainerKind target_kind, const DiskMap& map, const DiskFacts& facts,
                        ContainerLoss* losses, int max) {
  const Capabilities* target = nullptr;
  for (const Capabilities& c : kCapabilities) {
    if (c.kind == target_kind) target = &c;
  }
  if (target == nullptr) {
    if (max > 0) {
      snprintf(losses[0].text, sizeof losses[0].text, "%s is no container a disk is written into",
               ContainerName(target_kind));
    }
    return 1;
  }
  Losses found(*target, losses, max);
  const size_t name_length = strlen(facts.name);
  if (name_length > static_cast<size_t>(target->name_length)) {
    found.Add("the disk's name \"%.40s\"", facts.name);
  }
  if (facts.write_protected && !target->write_protect) found.Add("write protection");
  if (found.Enough()) return found.Found();
  const DiskGeometry g = map.Summarize();
  if (target->grid && g.total_sectors == 0) found.Add("it stores no sector");
  if (target->grid && g.total_sectors > 0) CheckGrid(*target, map, g, found);
  if (g.long_tracks > 0) {
    found.Add("%d track%s hold%s more than %d sectors", g.long_tracks,
              g.long_tracks == 1 ? "" : "s", g.long_tracks == 1 ? "s" : "",
              DiskMap::kMaxSectorsPerTrack);
  }
  int errors = 0, deleted = 0, short_data = 0, too_large = 0;
  bool said_tracks = false, said_count = false, said_size = false, said_density = false;
  for (int track = 0; track < SectorSource::kTrackCount && !found.Enough(); ++track) {
    const int count = map.SectorCount(track);
    if (count == 0) continue;
    if (track >= target->tracks && !said_tracks) {
      found.Add("track %d lies past the %d tracks it has room for", track, target->tracks);
      said_tracks = true;
    }
    if (count > target->max_sectors && !said_count) {
      found.Add("track %d holds %d sectors, more than %d", track, count, target->max_sectors);
      said_count = true;
    }
    const SectorHeader& first = map.Sector(track, 0);
    for (int i = 0; i < count; ++i) {
      const SectorHeader& s = map.Sector(track, i);
      if (target->one_size_a_track && s.n != first.n && !said_size) {
        found.Add("track %d holds sectors of more than one size", track);
        said_size = true;
      }
      if (target->one_density_a_track && s.Fm() != first.Fm() && !said_density) {
        found.Add("track %d holds FM and MFM sectors", track);
        said_density = true;
      }
      const bool error_kept =
          target->all_errors || (target->read_errors && (s.status == 0xB0 || s.status == 0xF0));
      if (s.status != 0 && !error_kept) ++errors;
      if (s.Deleted() && !target->deleted_marks) ++deleted;
      if (s.n > target->max_size_code) ++too_large;
      if (s.data_size != 128 << (s.n & 7) && !target->short_data && s.status != 0xF0) {
        ++short_data;
      }
    }
    // Counting only: one sector that cannot be held is enough.
    if (found.Enough() || (max == 0 && errors + deleted + too_large + short_data > 0)) break;
  }
  if (errors > 0) {
    found.Add("%d sector%s with an error status", errors, errors == 1 ? "" : "s");
  }
  if (deleted > 0) {
    found.Add("%d sector%s with a deleted-data mark", deleted, deleted == 1 ? "" : "s");
  }
  if (too_large > 0) {
    found.Add("%d sector%s of a size code over %d", too_large, too_large == 1 ? "" : "s",
              target->max_size_code);
  }
  if (short_data > 0) {
    found.Add("%d sector%s whose data are not as long as %s size code says", short_data,
              short_data == 1 ? "" : "s", short_data == 1 ? "its" : "their");
  }
  return found.Found();
}

}  // namespace diskimage
