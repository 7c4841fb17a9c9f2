#include "link/connect/library_paths.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace tallygate {
namespace {

std::filesystem::path EnvPath(const char* name) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? std::filesystem::path(value) : std::filesystem::path();
}

std::filesystem::path UserConfigFolder() {
  std::filesystem::path base = EnvPath("XDG_CONFIG_HOME");
  if (base.empty()) {
    std::filesystem::path home = EnvPath("HOME");
    base = (home.empty() ? std::filesystem::path("/tmp") : home) / ".config";
  }
  std::filesystem::path folder = base / "tallygate";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return folder;
}

}  // namespace

std::filesystem::path LibraryFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) != 0 && info.dli_fname != nullptr &&
      info.dli_fname[0] != '\0') {
    std::error_code ec;
    std::filesystem::path file = std::filesystem::canonical(info.dli_fname, ec);
    if (!ec) return file.parent_path();
  }
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::current_path() : exe.parent_path();
}

std::filesystem::path SettingsFolder() {
  std::filesystem::path home = EnvPath("TALLYGATE_HOME");
  if (!home.empty()) return home;
  std::filesystem::path library = LibraryFolder();
  if (!IsPackageManagerFolder(library) && access(library.c_str(), W_OK) == 0) return library;
  return UserConfigFolder();
}

bool IsPackageManagerFolder(const std::filesystem::path& folder) {
  const std::filesystem::path normal = folder.lexically_normal();
  const auto under = [&normal](const char* root) {
    const std::filesystem::path base(root);
    auto [end, unused] = std::mismatch(base.begin(), base.end(), normal.begin(), normal.end());
    return end == base.end();
  };
  if (under("/usr/local")) return false;
  return under("/usr") || under("/lib") || under("/lib32") || under("/lib64");
}

std::filesystem::path TablesFolder() {
  std::filesystem::path home = EnvPath("TALLYGATE_HOME");
  return home.empty() ? LibraryFolder() : home;
}

}  // namespace tallygate
