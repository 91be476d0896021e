// A copy written into another container, read back and compared with the disk it was written
// from, as far as that container records it.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "diskimage/container_writer.h"
#include "diskimage/containers/container_writers.h"

namespace diskimage {
namespace {

// Says the first difference found.
class Difference {
 public:
  Difference(char* text, size_t size) : text(text), size(size) {}
  bool Say(const char* format, ...) {
    if (size > 0) {
      va_list args;
      va_start(args, format);
      vsnprintf(text, size, format, args);
      va_end(args);
    }
    return false;
  }

 private:
  char* text;
  size_t size;
};

// True when the first `size` bytes of the two sectors' data are the same, each read as zeros past
// its data (a missing sector, nullptr, all zeros).
bool SameData(const DiskMap& a, const SectorHeader* sa, const DiskMap& b, const SectorHeader& sb,
              int size) {
  if (sa != nullptr && sa->data_size >= size && sb.data_size >= size) {
    const unsigned char* view_a = a.View(*sa, 0, size);
    const unsigned char* view_b = b.View(sb, 0, size);
    if (view_a != nullptr && view_b != nullptr) {
      return memcmp(view_a, view_b, static_cast<size_t>(size)) == 0;
    }
  }
  unsigned char chunk_a[2048], chunk_b[2048];
  for (int done = 0; done < size;) {
    const int want = size - done < 2048 ? size - done : 2048;
    const int got_a = sa != nullptr ? a.ReadPart(*sa, done, chunk_a, want) : 0;
    const int got_b = b.ReadPart(sb, done, chunk_b, want);
    memset(chunk_a + got_a, 0, static_cast<size_t>(want - got_a));
    memset(chunk_b + got_b, 0, static_cast<size_t>(want - got_b));
    if (memcmp(chunk_a, chunk_b, static_cast<size_t>(want)) != 0) return false;
    done += want;
  }
  return true;
}

bool SameGrid(const ContainerWriter& target, const DiskMap& source, const DiskMap& copy,
              Difference& difference) {
  SectorGrid grid;
  if (!WrittenGrid(target, source, grid)) return difference.Say("the disk holds no sector");
  for (int k = 0; k < grid.cylinders * grid.heads; ++k) {
    const int track = GridTrack(grid, k);
    const int size = static_cast<int>(grid.TrackBytes(k) / grid.sectors);
    for (int r = 1; r <= grid.sectors; ++r) {
      const SectorHeader* written = copy.Find(track, r);
      if (written == nullptr) {
        return difference.Say("track %d sector %d is not in the copy", track, r);
      }
      if (written->data_size != size ||
          !SameData(source, source.Find(track, r), copy, *written, size)) {
        return difference.Say("track %d sector %d's data differ", track, r);
      }
    }
  }
  return true;
}

bool SameSectorsOf(const ContainerWriter& target, const DiskMap& source, const DiskMap& copy,
                   bool exact, Difference& difference) {
  for (int track = 0; track < SectorSource::kTrackCount; ++track) {
    const SectorHeader* held[DiskMap::kMaxSectorsPerTrack];
    const int count = track < target.tracks ? HeldSectors(target, source, track, held) : 0;
    if (copy.SectorCount(track) != count) {
      return difference.Say("track %d holds %d sectors in the copy, not %d", track,
                            copy.SectorCount(track), count);
    }
    for (int i = 0; i < count; ++i) {
      const SectorHeader& s = *held[i];
      const SectorHeader& w = copy.Sector(track, i);
      if (w.c != s.c || w.h != s.h || w.r != s.r || (exact && w.n != s.n)) {
        return difference.Say("track %d's sector %d has the ID %d/%d/%d/%d in the copy", track, i,
                              w.c, w.h, w.r, w.n);
      }
      if (exact && (w.Fm() != s.Fm() || (target.deleted_marks && w.Deleted() != s.Deleted()) ||
                    w.status != s.status || (target.short_data && w.data_size != s.data_size))) {
        return difference.Say(
            "track %d's sector %d (R %d) differs in its density, mark, status "
            "or size in the copy",
            track, i, s.r);
      }
      if (w.status == 0xF0 && w.data_size == 0) continue;  // recorded without data
      const int size = target.short_data && s.data_size > w.data_size ? s.data_size : w.data_size;
      if (!SameData(source, &s, copy, w, size)) {
        return difference.Say("track %d's sector %d (R %d) holds other data in the copy", track, i,
                              s.r);
      }
    }
  }
  return true;
}

}  // namespace

bool SameSectors(ContainerKind target_kind, const DiskMap& source, const DiskMap& copy, bool exact,
                 char* difference_text, size_t difference_size) {
  Difference difference(difference_text, difference_size);
  const ContainerWriter* target = FindContainerWriter(target_kind);
  if (target == nullptr) return difference.Say("%s is not written", ContainerName(target_kind));
  return target->grid ? SameGrid(*target, source, copy, difference)
                      : SameSectorsOf(*target, source, copy, exact, difference);
}

}  // namespace diskimage
