// Opening the image from a file or from a stream that cannot seek.
#include "extraction/open_image.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "extraction/program_messages.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// An image read from a pipe: it backs the D88Image until the process ends, or until an in-process
// caller reads the next one.
unsigned char* piped_image = nullptr;

// Reads all of `in` into piped_image. Returns the bytes, or nullptr with size 0 when nothing could
// be kept; reports what was not read.
const unsigned char* ReadWhole(FILE* in, ExtractionRun& run, const char* path, size_t& size) {
  free(piped_image);
  piped_image = nullptr;
  size_t capacity = 0;
  size = 0;
  for (;;) {
    if (size == capacity) {
      if (capacity == kMaxPipedImageSize) {
        if (fgetc(in) != EOF) {
          run.diagnostics.Report(path, "only the first %lld bytes were read; the rest was not",
                                 static_cast<long long>(kMaxPipedImageSize));
        }
        break;
      }
      const size_t grown = capacity == 0 ? size_t{1} << 20 : 2 * capacity;
      void* larger = realloc(piped_image, grown);
      if (larger == nullptr) {
        run.diagnostics.Report(path,
                               "not enough memory to read more than %lld bytes; the rest was "
                               "not read",
                               static_cast<long long>(size));
        break;
      }
      piped_image = static_cast<unsigned char*>(larger);
      capacity = grown;
    }
    const size_t got = fread(piped_image + size, 1, capacity - size, in);
    size += got;
    if (got == 0) {
      if (ferror(in)) {
        run.diagnostics.Report(path, "reading stopped after %lld bytes: %s",
                               static_cast<long long>(size), strerror(errno != 0 ? errno : EIO));
      }
      break;
    }
  }
  return piped_image;
}

bool CannotOpen(ExtractionRun& run, const char* path, int error) {
  if (run.japanese_open_message) {
    fputs(run.utf8_names ? kCannotOpenImageUtf8 : kCannotOpenImage, stderr);
  }
  run.diagnostics.Report(path, "cannot open the image: %s", strerror(error));
  return false;
}

}  // namespace

bool OpenImage(ExtractionRun& run, const char* path, diskimage::D88Image& image, bool all_disks) {
  const bool standard_input = strcmp(path, "-") == 0;
  FileInfo info;
  int64_t size = 0;
  if (!standard_input && !GetFileInfo(path, info)) return CannotOpen(run, path, errno);
  if (info.directory) return CannotOpen(run, path, EISDIR);
  if (info.regular) {
    if (!image.Open(path)) return CannotOpen(run, path, errno != 0 ? errno : EIO);
    run.image = info;
    size = info.size;
  } else {
    FILE* in = stdin;
    if (standard_input) {
#ifdef _WIN32
      _setmode(_fileno(stdin), _O_BINARY);
#endif
    } else if ((in = fopen(path, "rb")) == nullptr) {
      return CannotOpen(run, path, errno);
    }
    size_t length = 0;
    const unsigned char* bytes = ReadWhole(in, run, path, length);
    if (in != stdin) fclose(in);
    image.OpenMemory(bytes, length);
    size = static_cast<int64_t>(length);
  }
  if (image.DiskCount() == 0) {
    run.diagnostics.Report(path, "holds no disk: it is %lld bytes long, shorter than a disk header",
                           static_cast<long long>(size));
  } else if (all_disks && image.MoreDisksThanCatalogued()) {
    run.diagnostics.Report(path, "holds more than %d disks; the disks after the %dth were not read",
                           diskimage::D88Image::kMaxDisks, diskimage::D88Image::kMaxDisks);
  }
  return true;
}
