// Writing the directory tree of one mounted disk: a listing line per file and folder, the files'
// bytes, their folders and dates, and a diagnostic for everything not read whole.
#ifndef DSKGET_EXTRACT_TREE_H_
#define DSKGET_EXTRACT_TREE_H_

#include "common/run/extraction_run.h"
#include "common/writing/disk_tree.h"

// Lists each item of the tree and (unless run.list_only) writes it into the current directory,
// its folders as folders of their own, entered and left again.
class TreeWriter final : public TreeVisitor {
 public:
  explicit TreeWriter(ExtractionRun& run) : run(run) {}

  void File(DiskTree& tree, const TreeItem& file) override;
  void Folder(DiskTree& tree, const TreeItem& folder) override;
  bool Enter(DiskTree& tree, const TreeItem& folder) override;
  void Leave(DiskTree& tree, const diskimage::DirectoryEntry& folder, const char* name,
             const char* shown) override;

 private:
  ExtractionRun& run;
};

#endif  // DSKGET_EXTRACT_TREE_H_
