// Mapping a large buffer in one request instead of one page fault at a time.
#ifndef COMMON_HOST_PREFAULT_H_
#define COMMON_HOST_PREFAULT_H_

#include <cstddef>

// Asks the system to map the `size` writable bytes at `memory` now, in one call, rather than on
// each page's first use (page faults are costly on virtual machines). Changes no byte; does
// nothing where the system has no such request or refuses it.
void Prefault(void* memory, size_t size);

#endif  // COMMON_HOST_PREFAULT_H_
