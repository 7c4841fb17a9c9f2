// Files replaced whole or not at all: a crash, a killed process or a full
// disk leaves either the old file or the new one, never a part of either.
#ifndef TALLYGATE_WHOLE_FILE_H_
#define TALLYGATE_WHOLE_FILE_H_

#include <filesystem>
#include <string>
#include <string_view>

namespace tallygate {

// A file replaced whole or not at all. Bytes go to a temporary file in the
// same folder (".NAME.XXXXXX"); Commit() flushes it to disk (fsync), renames it
// over `path` and syncs the folder. Destroyed without Commit(), the temporary
// file is removed and `path` is untouched.
//
// The new file gets the mode of the file it replaces, or 0666 less the umask
// when there was none. A `path` that names a symbolic link replaces the
// link's target, as writing through the link would. Errors carry the errno of
// the failed call (ENOSPC, EACCES, ENOENT for a missing folder, ...).
class WholeFile {
 public:
  explicit WholeFile(std::filesystem::path path);  // throws std::system_error (errno; what() names the path)
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;
  ~WholeFile();
  void Write(std::string_view bytes);  // buffered; throws std::system_error
  void Commit();                       // throws std::system_error; at most once
  const std::filesystem::path& path() const;

 private:
  void Flush();
  void WriteAll(std::string_view bytes);
  [[noreturn]] void Fail(int error);

  std::filesystem::path path_;       // as the caller named it
  std::filesystem::path target_;     // the file replaced: `path_` with its links followed
  std::filesystem::path temporary_;  // removed unless renamed
  int fd_ = -1;
  int failure_ = 0;  // errno of the first failure; the file is then never committed
  bool committed_ = false;
  std::string buffer_;
};

// One call: WholeFile + Write + Commit.
void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace tallygate

#endif  // TALLYGATE_WHOLE_FILE_H_
