// dskcut: extracts the files of every disk of a D88 image whose directory has 16-byte entries
// with 6.3 names and whose data tracks hold five 1024-byte sectors.
#ifndef DSKCUT_DSKCUT_H_
#define DSKCUT_DSKCUT_H_

#include "common/run/extraction_run.h"
#include "common/writing/save_file.h"
#include "diskimage/d88_image.h"

constexpr int kDskcutTrackSize = 5 * 1024;
constexpr int kDskcutTrackImageTracks = 80;

// The run-wide buffers: zero at start and never cleared between disks, so a sector that cannot be
// read keeps what an earlier disk left there.
struct DskcutBuffers {
  unsigned char directory[2048];
  unsigned char track_image[kDskcutTrackImageTracks * kDskcutTrackSize];
  unsigned char sector_ids[20];
  int loaded[kDskcutTrackImageTracks];              // per track: bytes read from the current disk
  bool track_read[kDskcutTrackImageTracks];         // per track: read from the current disk yet
  FilePiece track_pieces[kDskcutTrackImageTracks];  // each track's place in track_image
  int piece_counts[kDskcutTrackImageTracks];
};

// Runs the whole program: `argv[1]` is the image, or --help or --version alone; later arguments
// -d, -2, -l, -u, -f and -C DIR are options, any other is ignored with a warning.
// `image` must be freshly constructed and `buffers` zero. Returns the exit status: 1 for usage or
// an image that cannot be opened, 2 when the run went through with diagnostics or the listing
// could not be written, 0 when every listed file was written in full under its listed name.
int RunDskcut(int argc, char** argv, diskimage::D88Image& image, DskcutBuffers& buffers);

// Loads the directory and data tracks of disk `disk` (selected in `image`) into `buffers`, lists
// every entry on standard output and writes its file into the current directory. In `kova_mode`
// empty entries are skipped instead of ending the directory. Reports through `run` a disk without
// a directory, entries and file bytes that were not read from this disk, and every entry that
// could not be written in full under its listed name. Returns false when the disk has no
// directory.
bool ExtractDisk(diskimage::D88Image& image, int disk, bool kova_mode, DskcutBuffers& buffers,
                 ExtractionRun& run);

// Reads disk `disk` (selected in `image`) into `buffers` as ExtractDisk does, for the disks after
// it, but lists and writes nothing: a disk that holds a standard file system.
void PassOverDisk(diskimage::D88Image& image, int disk, DskcutBuffers& buffers);

#endif  // DSKCUT_DSKCUT_H_
