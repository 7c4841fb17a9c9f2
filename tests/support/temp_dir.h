// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
#ifndef TALLYGATE_TESTS_SUPPORT_TEMP_DIR_H_
#define TALLYGATE_TESTS_SUPPORT_TEMP_DIR_H_

#include <filesystem>
#include <string>
#include <vector>

namespace tallygate::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Whole-file helpers for tests.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& contents);
// The lines of a file, without their line ends (LF or CR LF).
std::vector<std::string> ReadLines(const std::filesystem::path& path);

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_SUPPORT_TEMP_DIR_H_
