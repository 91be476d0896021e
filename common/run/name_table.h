// The names a run has written, folder by folder, so that no file is written over another without
// a word: a table of 64-bit keys of (folder, name), each with a number saying who wrote it.
#ifndef COMMON_RUN_NAME_TABLE_H_
#define COMMON_RUN_NAME_TABLE_H_

#include <cstddef>
#include <cstdint>

struct NameSlot {
  uint64_t key;  // 0: empty
  int owner;
};

class NameTable {
 public:
  // Works in `slots`, `capacity` entries (a power of two) that the caller owns, zeroed where
  // `capacity` is at most 2048: the first names are kept in 16 KB of the object's own, so that a
  // small run touches those pages instead of pages all over `slots`; past three quarters of them
  // `slots` is zeroed and they all move there.
  constexpr NameTable(NameSlot* slots, size_t capacity)
      : slots(slots), capacity(capacity), spilled(capacity <= 2 * kFirstSlots) {}

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
  static constexpr size_t kFirstSlots = 1024;

  // The index of `key` in `table`, or of the empty slot where it goes.
  static size_t Find(const NameSlot* table, size_t table_capacity, uint64_t key);
  // Moves the names kept in `first` to `slots`.
  void Spill();

  NameSlot first[kFirstSlots] = {};
  NameSlot* slots;
  size_t capacity;
  size_t used = 0;
  bool full = false;
  bool spilled;  // the names are in `slots`
};

#endif  // COMMON_RUN_NAME_TABLE_H_
