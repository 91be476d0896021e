// Writing the file of one directory entry, whatever the entry holds: the region is checked
// against the track image, the name is made safe, and every problem is reported.
#ifndef EXTRACTION_SAVE_ENTRY_FILE_H_
#define EXTRACTION_SAVE_ENTRY_FILE_H_

#include <cstdint>

#include "extraction/diagnostics.h"

// Writes the `size` bytes at offset `start` of `track_image` (`image_size` bytes) to a file named
// `listed_name` in the current directory. Returns true only when the whole file was written under
// that name. Otherwise reports through `diagnostics`, naming the entry by `listed_name`: data that
// starts outside the image (no file), data that runs past its end (the bytes up to the end are
// written), a negative size (an empty file), a name changed to stay in the current directory,
// and a file that could not be written (with the system's reason).
bool SaveEntryFile(Diagnostics& diagnostics, const char* listed_name,
                   const unsigned char* track_image, int64_t image_size, int64_t start,
                   int64_t size);

#endif  // EXTRACTION_SAVE_ENTRY_FILE_H_
