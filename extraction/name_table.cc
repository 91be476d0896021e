// The table of written names: open addressing over FNV-1a keys.
#include "extraction/name_table.h"

#include <cstring>

uint64_t NameTable::Key(uint64_t folder_key, const char* name, bool fold_case) {
  uint64_t hash = folder_key ^ 0xcbf29ce484222325u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    const unsigned char c = fold_case && *p >= 'A' && *p <= 'Z' ? *p + ('a' - 'A') : *p;
    hash = (hash ^ c) * 0x100000001b3u;
  }
  return hash == 0 ? 1 : hash;
}

bool NameTable::Contains(uint64_t key) const {
  for (size_t i = key & (capacity - 1);; i = (i + 1) & (capacity - 1)) {
    if (slots[i].key == 0) return false;
    if (slots[i].key == key) return true;
  }
}

int NameTable::Record(uint64_t key, int owner) {
  size_t i = key & (capacity - 1);
  while (slots[i].key != 0 && slots[i].key != key) i = (i + 1) & (capacity - 1);
  if (slots[i].key == key) {
    const int before = slots[i].owner;
    slots[i].owner = owner;
    return before;
  }
  if (used >= capacity / 4 * 3) {
    full = true;
    return -1;
  }
  slots[i] = {key, owner};
  ++used;
  return -1;
}

void NameTable::Clear() {
  if (used > 0) memset(slots, 0, capacity * sizeof *slots);
  used = 0;
  full = false;
}
