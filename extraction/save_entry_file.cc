// The checks and diagnostics around the writing of one extracted file.
#include "extraction/save_entry_file.h"

#include <cstring>

#include "extraction/safe_file_name.h"
#include "extraction/save_file.h"

bool SaveEntryFile(Diagnostics& diagnostics, const char* listed_name,
                   const unsigned char* track_image, int64_t image_size, int64_t start,
                   int64_t size) {
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

  char name[kSafeFileNameSize];
  const bool renamed = MakeSafeFileName(listed_name, name, sizeof name);
  if (renamed) {
    diagnostics.Report(listed_name, "written as \"%s\" to stay a plain file name", name);
  }
  const int error = SaveFile(name, track_image + start, static_cast<size_t>(length));
  if (error != 0) {
    diagnostics.Report(listed_name, "cannot be written: %s", strerror(error));
    return false;
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
  return !renamed && length == size;
}
