// Opening the image named on the command line: a file is read where it lies; a pipe, a FIFO or
// standard input ("-") is read whole into memory first.
#ifndef EXTRACTION_OPEN_IMAGE_H_
#define EXTRACTION_OPEN_IMAGE_H_

#include "diskimage/d88_image.h"
#include "extraction/extraction_run.h"

// The most bytes read from a pipe: no disk of an image can begin beyond 2 GiB.
constexpr size_t kMaxPipedImageSize = size_t{1} << 31;

// Opens `path` into `image`. When it cannot be opened, writes the open-failure message (unless
// the run says otherwise) and a diagnostic with the system's reason, and returns false. Otherwise
// records the file in `run` so that it is never overwritten, and reports through its diagnostics an
// image that holds no disk, input that could not be read whole (past kMaxPipedImageSize, a read
// error, no memory) and, with `all_disks`, disks beyond those catalogued. Memory for piped input
// lasts until the process ends.
bool OpenImage(ExtractionRun& run, const char* path, diskimage::D88Image& image, bool all_disks);

#endif  // EXTRACTION_OPEN_IMAGE_H_
