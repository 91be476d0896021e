// Writing the file of one directory entry, whatever the entry holds: the region is checked
// against the track image, the name is made safe, and every problem is reported.
#ifndef COMMON_WRITING_SAVE_ENTRY_FILE_H_
#define COMMON_WRITING_SAVE_ENTRY_FILE_H_

#include <cstdint>

#include "common/run/extraction_run.h"
#include "common/run/listed_name.h"
#include "common/writing/save_file.h"

// The most pieces a track image holds in all.
constexpr int kMaxTrackImagePieces = 1024;

// A disk's data tracks as a program lays them end to end, and how much of each track came from
// the disk being extracted. Track t is `track_size` bytes: piece_counts[t] pieces from
// pieces[t * pieces_per_track] on (a program's copy of the track, or its sectors where the image
// lies in memory and then zeros). A program may fill it on demand: `load` is then called with the
// first and last track of a file's bytes before they are read, and sets those tracks' pieces and
// `loaded`.
struct TrackImage {
  const FilePiece* pieces;
  const int* piece_counts;
  int pieces_per_track;  // track_count * pieces_per_track is at most kMaxTrackImagePieces
  int track_count;
  int track_size;
  const int* loaded;  // per track: the bytes at its start that were read from this disk
  const char* stale;  // what the other bytes hold, as the diagnostic says it
  void (*load)(void* context, int first_track, int last_track);  // null: filled already
  void* load_context;
};

// Returns how many of the `length` bytes at offset `start` of `image` were not read from the
// disk. The region must lie inside the image.
int64_t BytesNotOnDisk(const TrackImage& image, int64_t start, int64_t length);

// Writes the `size` bytes at offset `start` of `image` (loaded first) to a file named `listed.name`
// in the current directory (with run.list_only, only checks them). Returns true only when the whole
// file was written under that name from bytes read from the disk. Otherwise reports through
// run.diagnostics, naming the entry by `listed.name`: bytes of the name that are not Shift-JIS,
// data that starts outside the image (no file), data that runs past its end (the bytes up to the
// end are written), a negative size (an empty file), a name changed to stay in the current
// directory, a name that leads to the image being read (not written), a file that could not be
// written (with the system's reason), and bytes that were not on the disk. Entries are named
// with run.name_prefix before them. With run.one_folder_names, also a file that replaces (or with
// run.list_only, would replace) the file of the same name written from an earlier disk.
bool SaveEntryFile(ExtractionRun& run, const ListedName& listed, const TrackImage& image,
                   int64_t start, int64_t size);

#endif  // COMMON_WRITING_SAVE_ENTRY_FILE_H_
