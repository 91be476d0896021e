// The checks and diagnostics around the writing of one extracted file.
#include "common/writing/save_entry_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/run/open_image.h"
#include "common/writing/safe_file_name.h"
#include "common/writing/save_file.h"

int64_t BytesNotOnDisk(const TrackImage& image, int64_t start, int64_t length) {
  int64_t missing = 0;
  const int64_t end = start + length;
  for (int64_t track = start / image.track_size; track * image.track_size < end; ++track) {
    const int64_t track_start = track * image.track_size;
    const int64_t from = std::max(start, track_start);
    const int64_t to = std::min(end, track_start + image.track_size);
    const int64_t read_end = track_start + image.loaded[track];
    missing += (to - from) - std::max<int64_t>(0, std::min(to, read_end) - from);
  }
  return missing;
}

namespace {

// Lists in `out` the pieces of the `length` bytes at offset `start` of `image`, which lie inside
// it. Returns their count.
int FilePieces(const TrackImage& image, int64_t start, int64_t length, FilePiece* out) {
  int count = 0;
  const int64_t end = start + length;
  for (int64_t track = start / image.track_size; track * image.track_size < end; ++track) {
    int64_t at = track * image.track_size;
    const FilePiece* piece = image.pieces + track * image.pieces_per_track;
    for (int i = 0; i < image.piece_counts[track]; ++i, ++piece) {
      const int64_t piece_end = at + static_cast<int64_t>(piece->size);
      const int64_t from = std::max(start, at);
      const int64_t to = std::min(end, piece_end);
      if (from < to) out[count++] = {piece->bytes + (from - at), static_cast<size_t>(to - from)};
      at = piece_end;
    }
  }
  return count;
}

}  // namespace

bool SaveEntryFile(ExtractionRun& run, const ListedName& listed, const TrackImage& image,
                   int64_t start, int64_t size) {
  Diagnostics& diagnostics = run.diagnostics;
  char listed_name[sizeof run.name_prefix + kListedNameSize];
  NameInRun(run, listed.name, listed_name, sizeof listed_name);
  if (listed.escaped > 0) {
    diagnostics.Report(listed_name, "%d byte%s not Shift-JIS, written as %%XX", listed.escaped,
                       listed.escaped == 1 ? " is" : "s are");
  }
  const int64_t image_size = int64_t{image.track_count} * image.track_size;
  if (start < 0 || start >= image_size) {
    diagnostics.Report(listed_name,
                       "data starts at offset %lld, outside the %lld-byte track image; "
                       "no file written",
                       static_cast<long long>(start), static_cast<long long>(image_size));
    return false;
  }
  int64_t length = size;
  if (length < 0) length = 0;
  if (length > image_size - start) length = image_size - start;
  if (image.load != nullptr && length > 0) {
    image.load(image.load_context, static_cast<int>(start / image.track_size),
               static_cast<int>((start + length - 1) / image.track_size));
  }

  char name[kSafeFileNameSize];
  const bool renamed =
      MakeSafeFileName(listed.name, name, sizeof name, kWindowsFileNames, !run.utf8_names);
  if (renamed) {
    diagnostics.Report(listed_name, "%s as \"%s\" to stay a plain file name",
                       run.list_only ? "would be written" : "written", name);
  }
  if (!run.list_only) {
    FilePiece pieces[kMaxTrackImagePieces];
    const int piece_count = FilePieces(image, start, length, pieces);
    const int error = SaveFile(name, pieces, piece_count, run.image, run.utf8_names);
    if (error == kSaveWouldReplaceKeptFile) {
      diagnostics.Report(listed_name, "is the image being read; not overwritten");
      return false;
    }
    if (error != 0) {
      StopIfImageShrank(error);
      diagnostics.Report(listed_name, "cannot be written: %s", strerror(error));
      return false;
    }
  }
  if (run.one_folder_names != nullptr) {
    const int earlier =
        run.one_folder_names->Record(NameTable::Key(0, name, kFoldedFileNames), run.disk);
    if (earlier >= 0 && earlier != run.disk) {
      diagnostics.Report(name,
                         "%sreplaced by the file of the same name on disk %03d (-d puts every "
                         "disk in one folder)",
                         run.list_only ? "would be " : "", run.disk);
    }
  }
  if (size < 0) {
    diagnostics.Report(listed_name, "negative size (%lld bytes); written as an empty file",
                       static_cast<long long>(size));
  } else if (length < size) {
    diagnostics.Report(listed_name,
                       "only %lld of %lld bytes written: the data runs past the end of the "
                       "track image",
                       static_cast<long long>(length), static_cast<long long>(size));
  }
  const int64_t missing = BytesNotOnDisk(image, start, length);
  if (missing > 0) {
    diagnostics.Report(listed_name, "%lld of its %lld bytes were not on the disk; they hold %s",
                       static_cast<long long>(missing), static_cast<long long>(length),
                       image.stale);
  }
  return listed.escaped == 0 && !renamed && length == size && missing == 0;
}
