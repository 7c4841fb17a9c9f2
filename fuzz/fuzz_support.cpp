#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace tallygate::fuzz {
namespace {

std::filesystem::path MakeScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/tallygate-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("tallygate fuzz: mkdtemp");
    std::abort();
  }
  return pattern;
}

}  // namespace

const std::filesystem::path& ScratchFolder() {
  static const std::filesystem::path folder = [] {
    std::filesystem::path made = MakeScratchFolder();
    // libFuzzer ends with exit(): the folder goes with the process.
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchFolder(), ignored);
    });
    return made;
  }();
  return folder;
}

std::filesystem::path WriteScratchFile(const std::string& name, const uint8_t* data, size_t size) {
  const std::filesystem::path path = ScratchFolder() / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) {
    std::fprintf(stderr, "tallygate fuzz: cannot write %s\n", path.c_str());
    std::abort();
  }
  return path;
}

void Require(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "tallygate fuzz: rule broken: %s\n", rule);
  std::abort();
}

}  // namespace tallygate::fuzz
