// Prefault: madvise(MADV_POPULATE_WRITE) on Linux 5.14 and later, nothing elsewhere.
#include "common/host/prefault.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void Prefault(void* memory, size_t size) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t start = reinterpret_cast<uintptr_t>(memory) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(memory) + size + page - 1) & ~(page - 1);
  madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
  (void)memory;
  (void)size;
#endif
}
