// The catalogue of the files on a disk, as dskget would write them (the same paths): each with its
// size, date, type, damage and hashes, as text, as JSON members or as a Logiqx datafile's roms.
#ifndef DSKINFO_FILE_CATALOGUE_H_
#define DSKINFO_FILE_CATALOGUE_H_

#include <cstdint>

#include "common/writing/disk_tree.h"

enum class CatalogueFormat { kText, kJson, kDat };

// Prints each file of a disk's tree as it is handed over; folders are passed through.
class FileCatalogue final : public TreeVisitor {
 public:
  // `disk_folder` ("000") begins the datafile's rom names.
  FileCatalogue(CatalogueFormat format, const char* disk_folder)
      : format(format), disk_folder(disk_folder) {}

  void File(DiskTree& tree, const TreeItem& file) override;
  void Folder(DiskTree&, const TreeItem&) override {}
  bool Enter(DiskTree&, const TreeItem&) override { return true; }
  void Leave(DiskTree&, const diskimage::DirectoryEntry&, const char*, const char*) override {}

  int64_t Files() const { return files; }

 private:
  CatalogueFormat format;
  const char* disk_folder;
  int64_t files = 0;
};

// Prints `text` as XML character data or an attribute's value: markup characters as entities,
// bytes that are not UTF-8 and characters XML 1.0 cannot hold as %XX, as dskget's names write
// bytes they cannot show.
void PrintXmlText(const char* text);

#endif  // DSKINFO_FILE_CATALOGUE_H_
