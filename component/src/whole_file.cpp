#include "tallygate/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <system_error>
#include <utility>

namespace tallygate {
namespace {

namespace fs = std::filesystem;

constexpr size_t kBufferSize = 64 * 1024;
constexpr int kMaxLinkHops = 40;  // as the kernel's own limit before ELOOP

std::system_error ErrnoError(int error, const fs::path& path) {
  return std::system_error(error, std::generic_category(), path.string());
}

// The file that writing through `path` would reach: its symbolic links
// followed, each relative one from the folder it lies in. A missing file
// ends the walk; creating it is the caller's business.
fs::path FollowLinks(fs::path path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    std::error_code ec;
    const fs::path next = fs::read_symlink(path, ec);
    if (ec) throw ErrnoError(ec.value(), path);
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  throw ErrnoError(ELOOP, path);
}

std::string RandomSuffix() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  std::string suffix(6, ' ');
  for (char& letter : suffix) letter = kLetters[pick(random)];
  return suffix;
}

// Opens a new ".NAME.XXXXXX" beside `target`. Created with 0666 so that the
// kernel takes the umask off, as it would for a file opened in place.
int OpenTemporary(const fs::path& target, const fs::path& named, fs::path& temporary) {
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    temporary = target.parent_path() / ("." + target.filename().string() + "." + RandomSuffix());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) throw ErrnoError(errno, named);
  }
  throw ErrnoError(EEXIST, named);
}

// Makes the rename itself durable. A folder that cannot be synced (EINVAL:
// some file systems do not support it) is left as it is.
int SyncFolder(const fs::path& target) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int failure = ::fsync(fd) != 0 && errno != EINVAL ? errno : 0;
  ::close(fd);
  return failure;
}

}  // namespace

WholeFile::WholeFile(fs::path path) : path_(std::move(path)), target_(FollowLinks(path_)) {
  // An existing file keeps its mode and owner, and one that could not have
  // been written in place is not replaced either.
  struct stat old {};
  const bool existed = ::stat(target_.c_str(), &old) == 0;
  if (!existed && errno != ENOENT) throw ErrnoError(errno, path_);
  if (existed && S_ISDIR(old.st_mode)) throw ErrnoError(EISDIR, path_);
  if (existed && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
    throw ErrnoError(errno, path_);
  }
  fd_ = OpenTemporary(target_, path_, temporary_);
  if (existed) {
    // Only a privileged process can give the file away; others keep theirs.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
      [[maybe_unused]] const int ignored = ::fchown(fd_, old.st_uid, old.st_gid);
    }
    if (::fchmod(fd_, old.st_mode & 07777) != 0) Fail(errno);
  }
}

WholeFile::~WholeFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

const fs::path& WholeFile::path() const { return path_; }

void WholeFile::Write(std::string_view bytes) {
  if (failure_ != 0) throw ErrnoError(failure_, path_);
  if (committed_) throw ErrnoError(EINVAL, path_);
  if (buffer_.size() + bytes.size() < kBufferSize) {
    buffer_.append(bytes);
    return;
  }
  Flush();
  WriteAll(bytes);
}

void WholeFile::Commit() {
  if (failure_ != 0) throw ErrnoError(failure_, path_);
  if (committed_) throw ErrnoError(EINVAL, path_);
  Flush();
  if (::fsync(fd_) != 0) Fail(errno);
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) Fail(errno);
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) Fail(errno);
  committed_ = true;
  if (const int failure = SyncFolder(target_); failure != 0) throw ErrnoError(failure, path_);
}

void WholeFile::Flush() {
  WriteAll(buffer_);
  buffer_.clear();
}

void WholeFile::WriteAll(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(errno);
    if (n == 0) Fail(ENOSPC);  // no progress and no reason: the device took nothing
    done += static_cast<size_t>(n);
  }
}

void WholeFile::Fail(int error) {
  failure_ = error;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ::unlink(temporary_.c_str());  // frees the space a full disk needs back at once
  temporary_.clear();
  buffer_.clear();
  throw ErrnoError(error, path_);
}

void WriteWholeFile(const fs::path& path, std::string_view bytes) {
  WholeFile file(path);
  file.Write(bytes);
  file.Commit();
}

}  // namespace tallygate
