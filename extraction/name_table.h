// The names a run has written, folder by folder, so that no file is written over another without
// a word: a table of 64-bit keys of (folder, name), each with a number saying who wrote it.
#ifndef EXTRACTION_NAME_TABLE_H_
#define EXTRACTION_NAME_TABLE_H_

#include <cstddef>
#include <cstdint>

struct NameSlot {
  uint64_t key;  // 0: empty
  int owner;
};

class NameTable {
 public:
  // Works in `slots`, `capacity` zeroed entries (a power of two) that the caller owns.
  constexpr NameTable(NameSlot* slots, size_t capacity) : slots(slots), capacity(capacity) {}

  // The key of `name` in the folder `folder_key` (0 for a run's top folder); with `fold_case`,
  // ASCII letters compare without regard to case, as Windows and macOS compare names.
  static uint64_t Key(uint64_t folder_key, const char* name, bool fold_case);

  // Records that `owner` wrote the name `key` and returns who wrote it before, or -1 when nobody
  // did. Once the table is three quarters full, nothing more is recorded (and -1 returned).
  int Record(uint64_t key, int owner);
  bool Contains(uint64_t key) const;
  bool Full() const { return full; }

  // Forgets every name, for the next run in the same process.
  void Clear();

 private:
  NameSlot* slots;
  size_t capacity;
  size_t used = 0;
  bool full = false;
};

#endif  // EXTRACTION_NAME_TABLE_H_
