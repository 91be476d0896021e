// What the programs read from each PATH of their command line: an image, a folder of images and
// archives, or an archive of images; every image handed over with the names it goes by.
#ifndef COMMON_COLLECTIONS_COLLECTION_H_
#define COMMON_COLLECTIONS_COLLECTION_H_

#include <cstddef>
#include <cstdint>

#include "common/console/diagnostics.h"

// Room for each name of a CollectionImage, its NUL included: longer paths are cut to fit.
constexpr size_t kCollectionNameSize = 8192;

struct CollectionImage {
  const char* path;    // to open from where the run started; nullptr when `bytes` hold the image
  const char* shown;   // what the listing and diagnostics call it: its path, or ARCHIVE:MEMBER
  const char* folder;  // its folder below the output folder: its path, '/' between parts,
                       // extensions kept
  const unsigned char* bytes;  // an archive's member, read whole; lives until the call returns
  size_t size;
  const char* file;  // the file that holds it: its path, or the archive's
};

class CollectionVisitor {
 public:
  virtual void VisitImage(const CollectionImage& image) = 0;

 protected:
  ~CollectionVisitor() = default;
};

// True when `path` names a folder, or an archive (by its extension) and the build reads archives.
bool IsCollection(const char* path);

// Hands each image that `path` holds to `visitor`: the image itself (its folder: its base name);
// below a folder, each image and archive in name order (the folder's base name, or "images" for
// a root, then the path below it); inside an archive, each image (the archive's folder, then the
// member's path). Images are found by their names' extensions, or with `every_file` every file is
// tried. Folders and archives that cannot be read are reported through `diagnostics` and the walk
// goes on; one that holds no image is reported too ("holds no disk image; N files passed over
// by their names"). Returns the files passed over by their names where it held an image, else 0.
int64_t WalkCollection(const char* path, bool every_file, Diagnostics& diagnostics,
                       CollectionVisitor& visitor);

// Notes at the end of a run that `passed_over` files were passed over by their names (nothing for
// none).
void NotePassedOver(Diagnostics& diagnostics, int64_t passed_over);

#endif  // COMMON_COLLECTIONS_COLLECTION_H_
