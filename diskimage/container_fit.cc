// What each container would lose of a disk: its capabilities, then the disk's tracks and sectors
// checked against them.
#include "diskimage/container_fit.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "diskimage/containers/container_writers.h"

namespace diskimage {
namespace {

// The losses found, the first `max` of them written.
class Losses {
 public:
  Losses(const ContainerWriter& target, ContainerLoss* out, int max)
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
  const ContainerWriter& target;
  ContainerLoss* out;
  int max;
  int found = 0;
};

// Whether the grid `map` forms (every sector its own ID, in order) is one `target` has a code
// for; says why not.
void CheckGridGeometry(const ContainerWriter& target, const DiskMap& map, const DiskGeometry& g,
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
    const bool coded = DimMediaType(grid) >= 0;
    if (!coded) {
      losses.Add("DIM has no media type for %d x %d x %d x %d bytes", g.cylinders, g.heads,
                 g.sectors_per_track, 128 << size_code);
    }
  }
}

// Whether the disk is a grid: every track present, each of `sectors` sectors of one size numbered
// 1..n in stored order with the track's own cylinder and head, MFM (but a raw dump's FM track 0).
void CheckGrid(const ContainerWriter& target, const DiskMap& map, const DiskGeometry& g,
               Losses& losses) {
  const int size_code = SizeCodeOf(g.sector_size);
  SectorGrid written = {};
  WrittenGrid(target, map, written);
  const bool fm_track0 = written.fm_track0;
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
  const ContainerWriter* target = FindContainerWriter(target_kind);
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
  const int media = facts.media;
  if (target_kind == ContainerKind::kD88 && media != 0x00 && media != 0x10 && media != 0x20 &&
      media != 0x30 && media != 0x40) {
    found.Add("its media byte %02Xh, which no D88 reader takes", media);
  }
  if (found.Enough()) return found.Found();
  const DiskGeometry g = map.Summarize();
  if (target->grid && g.total_sectors == 0) found.Add("it stores no sector");
  if (target->grid && g.total_sectors > 0) CheckGrid(*target, map, g, found);
  if (g.long_tracks > 0) {
    found.Add("%d track%s hold%s more than %d sectors", g.long_tracks,
              g.long_tracks == 1 ? "" : "s", g.long_tracks == 1 ? "s" : "",
              DiskMap::kMaxSectorsPerTrack);
  }
  int errors = 0, deleted = 0, short_data = 0, too_large = 0, empty_slot_ids = 0;
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
      if (!StatusKept(*target, s)) ++errors;
      if (!SectorHeld(*target, s)) ++empty_slot_ids;
      if (s.Deleted() &&
          (!target->deleted_marks || (s.status == 0xF0 && !target->marked_without_data))) {
        ++deleted;
      }
      if (s.n > target->max_size_code) ++too_large;
      if (s.data_size != 128 << (s.n & 7) && !target->short_data && s.status != 0xF0) {
        ++short_data;
      }
    }
    // Counting only: one sector that cannot be held is enough.
    if (found.Enough() ||
        (max == 0 && errors + deleted + too_large + short_data + empty_slot_ids > 0)) {
      break;
    }
  }
  if (empty_slot_ids > 0) {
    found.Add("%d sector%s of cylinder ID FFh, which marks an empty slot", empty_slot_ids,
              empty_slot_ids == 1 ? "" : "s");
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
