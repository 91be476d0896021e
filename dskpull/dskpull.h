// dskpull: extracts the files of the first disk of a D88 image whose directory has 8-byte entries
// with four-byte names and whose data tracks hold ten 512-byte sectors.
#ifndef DSKPULL_DSKPULL_H_
#define DSKPULL_DSKPULL_H_

#include "common/writing/save_file.h"

constexpr int kDskpullTrackSize = 10 * 512;
constexpr int kDskpullFirstDataTrack = 4;
constexpr int kDskpullLastDataTrack = 79;
constexpr int kDskpullTracks = kDskpullLastDataTrack - kDskpullFirstDataTrack + 1;
constexpr int kDskpullTrackPieces = 11;  // ten sectors, then zeros

// The run's buffers, zero at start.
struct DskpullBuffers {
  unsigned char directory[1024];
  unsigned char track_image[kDskpullTracks * kDskpullTrackSize];  // for an image read from a file
  int loaded[kDskpullTracks];                                     // per track: bytes read
  bool track_read[kDskpullTracks];                                // per track: read yet
  FilePiece track_pieces[kDskpullTracks * kDskpullTrackPieces];   // where each track's bytes are
  int piece_counts[kDskpullTracks];
};

// Runs the whole program: the image, then the options -l, -u and -C DIR; or --help or --version
// alone. `buffers` must be zero. Returns the
// exit status: 1 for usage or an image that cannot be opened, 2 when the run went through with
// diagnostics or the listing could not be written, 0 when every listed file was written in full
// under its listed name.
int RunDskpull(int argc, char** argv, DskpullBuffers& buffers);

#endif  // DSKPULL_DSKPULL_H_
