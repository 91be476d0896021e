// Opening the image from a file or from a stream that cannot seek.
#include "common/run/open_image.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/run/program_messages.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#elif !defined(__EMSCRIPTEN__)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// An image read from a pipe: it backs the D88Image until the thread ends, or until the thread
// reads the next one.
struct PipedImage {
  ~PipedImage() { free(bytes); }
  unsigned char* bytes = nullptr;
};
thread_local PipedImage piped;

// Reads all of `in` into the thread's piped image. Returns the bytes, or nullptr with size 0 when
// nothing could be kept; reports what was not read.
const unsigned char* ReadWhole(FILE* in, ExtractionRun& run, const char* path, size_t& size) {
  free(piped.bytes);
  piped.bytes = nullptr;
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
      void* larger = realloc(piped.bytes, grown);
      if (larger == nullptr) {
        run.diagnostics.Report(path,
                               "not enough memory to read more than %lld bytes; the rest was "
                               "not read",
                               static_cast<long long>(size));
        break;
      }
      piped.bytes = static_cast<unsigned char*>(larger);
      capacity = grown;
    }
    const size_t got = fread(piped.bytes + size, 1, capacity - size, in);
    size += got;
    if (got == 0) {
      if (ferror(in)) {
        run.diagnostics.Report(path, "reading stopped after %lld bytes: %s",
                               static_cast<long long>(size), strerror(errno != 0 ? errno : EIO));
      }
      break;
    }
  }
  return piped.bytes;
}

#if defined(__unix__) && !defined(__EMSCRIPTEN__)
// The image mapped by the thread's last call, unmapped by its next one.
thread_local void* mapped_image = nullptr;
thread_local size_t mapped_size = 0;

// What is said when the mapped image shrinks under the run (another program truncates it), which
// the system signals with SIGBUS on the thread that reads it: the run stops with status 2 instead
// of crashing.
thread_local char shrunk_message[4096];
thread_local size_t shrunk_message_length;

extern "C" void StopOnShrunkImage(int) {
  if (write(STDERR_FILENO, shrunk_message, shrunk_message_length) < 0) _exit(kExitProblems);
  _exit(kExitProblems);
}
#endif

#if defined(__unix__) && !defined(__EMSCRIPTEN__)
// The `size` bytes of the file `path` mapped read-only (with `populate`, its pages read in one
// request), or nullptr.
void* MapFile(const char* path, size_t size, bool populate) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
  if (populate) flags |= MAP_POPULATE;
#else
  (void)populate;
#endif
  void* mapped = mmap(nullptr, size, PROT_READ, flags, fd, 0);
  close(fd);
  return mapped == MAP_FAILED ? nullptr : mapped;
}
#endif

// Maps the regular file `path` into memory (with run.prefault_image, its pages read in one
// request), and opens it from there. False (nothing changed) where the system cannot map it.
template <typename Image>
bool MapImage(const ExtractionRun& run, const char* path, const FileInfo& info, Image& image) {
#if defined(__unix__) && !defined(__EMSCRIPTEN__)
  if (mapped_image != nullptr) munmap(mapped_image, mapped_size);
  mapped_image = nullptr;
  if (info.size <= 0 || info.size > kMaxMappedImageSize) return false;
  void* mapped = MapFile(path, static_cast<size_t>(info.size), run.prefault_image);
  if (mapped == nullptr) return false;
  mapped_image = mapped;
  mapped_size = static_cast<size_t>(info.size);
  const int length = snprintf(shrunk_message, sizeof shrunk_message,
                              "%s: %s: the image shrank while it was read; run stopped\n",
                              run.diagnostics.Program(), path);
  shrunk_message_length = length < 0 ? 0 : std::min(sizeof shrunk_message - 1, size_t(length));
  signal(SIGBUS, StopOnShrunkImage);
  image.OpenMemory(static_cast<const unsigned char*>(mapped), static_cast<size_t>(info.size));
  return true;
#else
  (void)run;
  (void)path;
  (void)info;
  (void)image;
  return false;
#endif
}

}  // namespace

void StopIfImageShrank(int error) {
#if defined(__unix__) && !defined(__EMSCRIPTEN__)
  if (error == EFAULT && mapped_image != nullptr) StopOnShrunkImage(SIGBUS);
#else
  (void)error;
#endif
}

namespace {

bool CannotOpen(ExtractionRun& run, const char* path, int error) {
  if (run.japanese_open_message) {
    WriteJapaneseMessage(run.utf8_names, kCannotOpenImage, kCannotOpenImageUtf8);
  }
  run.diagnostics.Report(path, "cannot open the image: %s", strerror(error));
  return false;
}

// Opens `path` into `image` (a D88Image or a DiskImage) as OpenImage says, setting `size` to the
// bytes it holds; false, reported, when it cannot be opened.
template <typename Image>
bool OpenInto(ExtractionRun& run, const char* path, Image& image, int64_t& size) {
  const bool standard_input = strcmp(path, "-") == 0;
  FileInfo info;
  size = 0;
  if (!standard_input && !GetFileInfo(path, info)) return CannotOpen(run, path, errno);
  if (info.directory) return CannotOpen(run, path, EISDIR);
  if (info.regular && MapImage(run, path, info, image)) {
    run.image = info;
    size = info.size;
  } else if (info.regular) {
    errno = 0;
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
  return true;
}

void ReportUncatalogued(ExtractionRun& run, const char* path) {
  run.diagnostics.Report(path, "holds more than %d disks; the disks after the %dth were not read",
                         diskimage::D88Image::kMaxDisks, diskimage::D88Image::kMaxDisks);
}

}  // namespace

bool OpenImage(ExtractionRun& run, const char* path, diskimage::D88Image& image, bool all_disks) {
  int64_t size;
  if (!OpenInto(run, path, image, size)) return false;
  if (image.DiskCount() == 0) {
    run.diagnostics.Report(path, "holds no disk: it is %lld bytes long, shorter than a disk header",
                           static_cast<long long>(size));
  } else if (all_disks && image.MoreDisksThanCatalogued()) {
    ReportUncatalogued(run, path);
  }
  return true;
}

namespace {

// Reports what of the open `image` is not read.
void ReportNotRead(ExtractionRun& run, const char* path, const diskimage::DiskImage& image) {
  if (image.NotRead()[0] != '\0') {
    run.diagnostics.Report(path, "%s", image.NotRead());
  } else if (image.Problem()[0] != '\0') {
    run.diagnostics.Report(path, "%s: %s; not read whole",
                           diskimage::ContainerName(image.Container()), image.Problem());
  } else if (image.MoreDisksThanCatalogued()) {
    ReportUncatalogued(run, path);
  }
}

}  // namespace

bool OpenImage(ExtractionRun& run, const char* path, diskimage::DiskImage& image) {
  int64_t size;
  if (!OpenInto(run, path, image, size)) return false;
  ReportNotRead(run, path, image);
  return true;
}

void OpenImageBytes(ExtractionRun& run, const char* shown, const unsigned char* bytes, size_t size,
                    diskimage::DiskImage& image) {
  run.image = FileInfo();
  image.OpenMemory(bytes, size);
  ReportNotRead(run, shown, image);
}

bool OpenWrittenImage(const char* path, diskimage::DiskImage& image) {
#if defined(__unix__) && !defined(__EMSCRIPTEN__)
  // Mapped, not read: the comparison touches every page once, as a copy would.
  static void* mapped = nullptr;
  static size_t mapped_length = 0;
  image.Open(nullptr);
  if (mapped != nullptr) munmap(mapped, mapped_length);
  mapped = nullptr;
  if (path == nullptr) return true;
  FileInfo info;
  if (GetFileInfo(path, info) && info.regular && info.size > 0 &&
      info.size <= diskimage::DiskImage::kMaxContainerFileSize) {
    void* bytes = MapFile(path, static_cast<size_t>(info.size), false);
    if (bytes != nullptr) {
      mapped = bytes;
      mapped_length = static_cast<size_t>(info.size);
      return image.OpenMemory(static_cast<const unsigned char*>(bytes), mapped_length);
    }
  }
#endif
  return image.Open(path);
}
