#pragma once

// The machine's memory, for the decoder's default memory limit. One
// implementation per system (MemoryPosix.cpp, MemoryWin32.cpp).

#include <cstdint>

namespace platform {

// Bytes of physical memory; 0 when the system does not say.
uint64_t PhysicalMemoryBytes();

}  // namespace platform
