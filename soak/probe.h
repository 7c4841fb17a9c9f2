// The process's own resources, read from /proc/self: what a leak would
// make grow.
#ifndef TALLYGATE_SOAK_PROBE_H_
#define TALLYGATE_SOAK_PROBE_H_

#include <cstdint>

namespace tallygate::soak {

// Open file descriptors; -1 when /proc is not readable.
int OpenDescriptors();

// Resident memory now (VmRSS) and its peak (VmHWM), in KiB; -1 when unknown.
int64_t ResidentKiB();
int64_t PeakResidentKiB();

// Whether the process runs under AddressSanitizer, whose quarantine keeps
// freed memory resident: memory figures then say little about leaks, and
// LeakSanitizer says more.
bool UnderAddressSanitizer();

}  // namespace tallygate::soak

#endif  // TALLYGATE_SOAK_PROBE_H_
