#include "soak/probe.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>

namespace tallygate::soak {
namespace {

int64_t StatusKiB(const char* field) {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  int64_t value = -1;
  const size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
      long long kib = 0;
      if (std::sscanf(line + length + 1, "%lld", &kib) == 1) value = kib;
      break;
    }
  }
  std::fclose(status);
  return value;
}

}  // namespace

int OpenDescriptors() {
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(folder)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(folder);
  return count - 1;  // the listing's own descriptor
}

int64_t ResidentKiB() { return StatusKiB("VmRSS"); }
int64_t PeakResidentKiB() { return StatusKiB("VmHWM"); }

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

}  // namespace tallygate::soak
