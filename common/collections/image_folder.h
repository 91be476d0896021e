// The images inside a folder: its tree walked in name order, entering no link, each file whose
// extension names a disk-image container (or an archive, where the build reads them) taken.
#ifndef COMMON_COLLECTIONS_IMAGE_FOLDER_H_
#define COMMON_COLLECTIONS_IMAGE_FOLDER_H_

#include "common/console/diagnostics.h"

// True for a name ending in an extension that disk images carry (.d88, .d77, .d68, .d98, .88d,
// .d8u, .1dd; .2d, .2dd, .2hd, .hdm, .xdf, .dup, .hdb, .ddb, .hd4, .hd5, .dd6, .dd9, .img, .ima,
// .dsk, .bin, .tfd; .dim, .fdi, .nfd, .dcp, .dcu, .imd, .fdd, .td0), in any case.
bool HasImageExtension(const char* name);

// What the walk does with each image it finds.
class ImageVisitor {
 public:
  // `path` names the image from where the run started; `relative` is its path below the folder
  // walked, '/' between folders.
  virtual void Visit(const char* path, const char* relative) = 0;
  // True when every file is to be visited, whatever its name; otherwise PassOver is called for
  // each file whose name is neither an image's nor an archive's.
  virtual bool EveryFile() const = 0;
  virtual void PassOver() = 0;

 protected:
  ~ImageVisitor() = default;
};

// How deep a folder tree is walked.
constexpr int kMaxImageFolderDepth = 32;

// Walks the folder `root` and its folders (in byte order of their names, each folder's files and
// folders together; links and other reparse points are not followed, nor folders deeper than
// kMaxImageFolderDepth), calling visitor.Visit for each image file and archive (each file, where
// the visitor asks for every one). A folder that
// cannot be read is reported through `diagnostics` and passed over. Holds the names of the folders
// on the current path in memory while it walks them.
void WalkImageFolder(const char* root, Diagnostics& diagnostics, ImageVisitor& visitor);

#endif  // COMMON_COLLECTIONS_IMAGE_FOLDER_H_
