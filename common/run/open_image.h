// Opening the image named on the command line: a file of up to kMaxMappedImageSize bytes is
// mapped into memory where the system can (with run.prefault_image, its pages read at once), a
// larger one read where it lies; a pipe, a FIFO or standard input ("-") is read whole first. The
// mapping or the memory lasts until the thread's next call.
#ifndef COMMON_RUN_OPEN_IMAGE_H_
#define COMMON_RUN_OPEN_IMAGE_H_

#include "common/run/extraction_run.h"
#include "diskimage/d88_image.h"
#include "diskimage/disk_image.h"

// The most bytes read from a pipe: no disk of an image can begin beyond 2 GiB.
constexpr size_t kMaxPipedImageSize = size_t{1} << 31;

// The largest image file mapped whole (a few disks): what a run starts with costs least so, and
// memory stays bounded; larger files are read where they lie, a window at a time.
constexpr int64_t kMaxMappedImageSize = int64_t{4} << 20;

// Opens `path` into `image`. A mapped file that another program shrinks during the run stops it
// with "PROGRAM: PATH: the image shrank while it was read; run stopped" and status 2. When it
// cannot be opened, writes the open-failure message (unless the run says otherwise) and a
// diagnostic with the system's reason, and returns false. Otherwise records the file in `run` so
// that it is never overwritten, and reports through its diagnostics an image that holds no disk,
// input that could not be read whole (past kMaxPipedImageSize, a read error, no memory) and, with
// `all_disks`, disks beyond those catalogued. Memory for piped input lasts until the thread ends.
bool OpenImage(ExtractionRun& run, const char* path, diskimage::D88Image& image, bool all_disks);

// As above, for the programs that read every container: `image` recognises the container, and
// what it cannot read (no container's bytes, a container it does not read), what a container
// lost, and D88 disks beyond those catalogued are reported.
bool OpenImage(ExtractionRun& run, const char* path, diskimage::DiskImage& image);

// As above, for the `size` bytes at `bytes` (an archive's member), which the caller keeps until
// the image is opened again; `shown` names it in diagnostics.
void OpenImageBytes(ExtractionRun& run, const char* shown, const unsigned char* bytes, size_t size,
                    diskimage::DiskImage& image);

// Opens the image file `path` that the run itself wrote, to read it back: mapped where the system
// can (until the next call), else read whole into memory `image` owns. Says nothing; false when it
// cannot be opened. With nullptr: closes.
bool OpenWrittenImage(const char* path, diskimage::DiskImage& image);

// For a write from the mapped image that failed with `error`: EFAULT says that its pages are gone
// (the file shrank), and the run stops as OpenImage says. Any other error returns.
void StopIfImageShrank(int error);

#endif  // COMMON_RUN_OPEN_IMAGE_H_
