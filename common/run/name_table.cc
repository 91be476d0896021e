// The table of written names: open addressing over FNV-1a keys.
#include "common/run/name_table.h"

#include <cstring>

uint64_t NameTable::Key(uint64_t folder_key, const char* name, bool fold_case) {
  uint64_t hash = folder_key ^ 0xcbf29ce484222325u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    const unsigned char c = fold_case && *p >= 'A' && *p <= 'Z' ? *p + ('a' - 'A') : *p;
    hash = (hash ^ c) * 0x100000001b3u;
  }
  return hash == 0 ? 1 : hash;
}

size_t NameTable::Find(const NameSlot* table, size_t table_capacity, uint64_t key) {
  size_t i = key & (table_capacity - 1);
  while (table[i].key != 0 && table[i].key != key) i = (i + 1) & (table_capacity - 1);
  return i;
}

bool NameTable::Contains(uint64_t key) const {
  const NameSlot* table = spilled ? slots : first;
  return table[Find(table, spilled ? capacity : kFirstSlots, key)].key == key;
}

void NameTable::Spill() {
  memset(slots, 0, capacity * sizeof *slots);
  for (const NameSlot& name : first) {
    if (name.key != 0) slots[Find(slots, capacity, name.key)] = name;
  }
  spilled = true;
}

int NameTable::Record(uint64_t key, int owner) {
  NameSlot* table = spilled ? slots : first;
  size_t i = Find(table, spilled ? capacity : kFirstSlots, key);
  if (table[i].key == key) {
    const int before = table[i].owner;
    table[i].owner = owner;
    return before;
  }
  if (used >= capacity / 4 * 3) {
    full = true;
    return -1;
  }
  if (!spilled && used >= kFirstSlots / 4 * 3) {
    Spill();
    table = slots;
    i = Find(slots, capacity, key);
  }
  table[i] = {key, owner};
  ++used;
  return -1;
}

void NameTable::Clear() {
  if (used > 0) {
    memset(first, 0, sizeof first);
    if (spilled) memset(slots, 0, capacity * sizeof *slots);
  }
  used = 0;
  full = false;
  spilled = capacity <= 2 * kFirstSlots;
}
