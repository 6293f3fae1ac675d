#pragma once
// Counts the allocations made on the threads that ask for it, so that a test can tell that code
// running on an audio thread allocates nothing. Linking it into a test binary replaces the global
// operator new and delete of that binary (they still allocate with malloc).

#include <cstdint>

namespace alloccount {

// Starts or stops counting the allocations of the calling thread.
void countThisThread(bool on);
// Allocations counted so far, on every thread that counts.
std::uint64_t counted();

} // namespace alloccount
