#include "collector/deliver/folder_sink.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "collector/base/failure.h"
#include "collector/deliver/delivered_punch.h"

namespace tallygate::collector {
namespace {

using std::chrono::seconds;
using std::chrono::system_clock;

// Punches read from the store at a time while a file is written.
constexpr int kFilePage = 5000;
constexpr char kTemporary[] = ".tallygate-tmp";

[[noreturn]] void Fail(const std::string& what) {
  throw DeliveryError(what + ": " + std::generic_category().message(errno));
}

// Something found in the drop folder that the sink will not write through.
class Refused : public DeliveryError {
 public:
  using DeliveryError::DeliveryError;
};

// Refuses the entry `shown` unless it is of `type` (S_IFDIR, S_IFREG) and
// this service's user owns it. Whoever takes the files may write in the
// drop folder: a link or an entry of theirs there could lead a write to any
// file the service may change.
void RequireOwn(const struct stat& entry, mode_t type, const std::string& shown) {
  std::string why;
  if (S_ISLNK(entry.st_mode)) {
    why = "is a symbolic link";
  } else if ((entry.st_mode & S_IFMT) != type) {
    why = type == S_IFDIR ? "is not a folder" : "is not a plain file";
  } else if (entry.st_uid != ::geteuid()) {
    why = "belongs to user " + std::to_string(entry.st_uid) + ", not to this service's (" +
          std::to_string(::geteuid()) + ")";
  }
  if (!why.empty()) {
    throw Refused(shown + " " + why + ": refused, since it could lead the file elsewhere");
  }
}

// Seconds since 1970 on the host's clock face at `when`.
seconds LocalSeconds(system_clock::time_point when) {
  const time_t t = system_clock::to_time_t(when);
  tm local{};
  localtime_r(&t, &local);
  return seconds(t + local.tm_gmtoff);
}

// The start of the period of length `every` that holds `local`.
seconds PeriodStart(seconds local, seconds every) { return local - local % every; }

// An open file or folder, closed when it goes; every step on a folder's
// entries goes through its descriptor, never again through its path.
class Fd {
 public:
  // `name` in the folder `at` (AT_FDCWD: a path), never through a link.
  Fd(int at, const std::string& name, int flags, std::string shown) : shown_(std::move(shown)) {
    fd_ = ::openat(at, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ >= 0) return;
    const int error = errno;
    struct stat entry {};
    if (::fstatat(at, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(entry.st_mode)) {
      RequireOwn(entry, S_IFREG, shown_);  // says it is a link
    }
    errno = error;
    Fail("cannot open " + shown_);
  }
  Fd(Fd&& other) noexcept : shown_(std::move(other.shown_)), fd_(std::exchange(other.fd_, -1)) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int get() const { return fd_; }
  const std::string& shown() const { return shown_; }
  std::string Shown(const std::string& name) const {
    return (std::filesystem::path(shown_) / name).string();
  }

  void Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t wrote = ::write(fd_, bytes.data(), bytes.size());
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote < 0) Fail("cannot write " + shown_);
      bytes.remove_prefix(static_cast<size_t>(wrote));
    }
  }
  void Sync() const {
    if (::fsync(fd_) != 0) Fail("cannot sync " + shown_);
  }
  void RequireOwnFolder() const {
    struct stat entry {};
    if (::fstat(fd_, &entry) != 0) Fail("cannot read " + shown_);
    RequireOwn(entry, S_IFDIR, shown_);
  }
  // Whether `name` is in this folder; refused unless it is a file of ours.
  bool HoldsOwnFile(const std::string& name) const {
    struct stat entry {};
    if (::fstatat(fd_, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0) {
      RequireOwn(entry, S_IFREG, Shown(name));
      return true;
    }
    if (errno != ENOENT) Fail("cannot read " + Shown(name));
    return false;
  }

 private:
  std::string shown_;
  int fd_ = -1;
};

// The drop folder's temporary folder, made if missing.
Fd OpenTemporary(const Fd& folder) {
  if (::mkdirat(folder.get(), kTemporary, 0700) != 0 && errno != EEXIST) {
    Fail("cannot make " + folder.Shown(kTemporary));
  }
  Fd temporary(folder.get(), kTemporary, O_RDONLY | O_DIRECTORY, folder.Shown(kTemporary));
  temporary.RequireOwnFolder();
  return temporary;
}

// Renames `name` of `from` to `to` in `into` unless `to` is there. False
// when it is.
bool RenameNew(const Fd& from, const std::string& name, const Fd& into, const std::string& to) {
  if (::renameat2(from.get(), name.c_str(), into.get(), to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno == EEXIST) return false;
  if (errno != EINVAL && errno != ENOSYS) Fail("cannot move the file to " + into.Shown(to));
  // A file system without renameat2's flags: a hard link refuses a name
  // that is there as well.
  if (::linkat(from.get(), name.c_str(), into.get(), to.c_str(), 0) != 0) {
    if (errno == EEXIST) return false;
    Fail("cannot move the file to " + into.Shown(to));
  }
  ::unlinkat(from.get(), name.c_str(), 0);
  return true;
}

// Writes the batch's punches into `temporary`, synced. A file of the batch
// that a crash left is written again; the name is opened only when new, so
// that nothing planted there is written through.
void WriteFile(PunchReader& punches, const SinkState& state, bool json_lines,
               const Fd& temporary) {
  const std::string& name = state.batch_file;
  if (temporary.HoldsOwnFile(name) && ::unlinkat(temporary.get(), name.c_str(), 0) != 0 &&
      errno != ENOENT) {
    Fail("cannot remove " + temporary.Shown(name));
  }
  Fd out(temporary.get(), name, O_WRONLY | O_CREAT | O_EXCL, temporary.Shown(name));
  out.Write(FileHeader(json_lines));
  std::string text;
  int rows = 0;
  ForEachPunchUpTo(punches, state.position, state.batch_last, kFilePage, [&](const PunchRow& row) {
    text += FileRow(row, json_lines);
    if (++rows % kFilePage == 0) out.Write(std::exchange(text, {}));
  });
  out.Write(text);
  out.Sync();
}

// Renames the written file into `folder` under a name no file has.
void PlaceFile(const SinkState& state, const Fd& temporary, const Fd& folder) {
  if (!temporary.HoldsOwnFile(state.batch_file)) return;  // placed before a restart
  const std::filesystem::path name = state.batch_file;
  for (int n = 1;; ++n) {
    if (n > 1000) {
      errno = EEXIST;
      Fail("no free name for " + name.string() + " in " + folder.shown());
    }
    const std::string placed =
        n == 1 ? name.string()
               : name.stem().string() + "-" + std::to_string(n) + name.extension().string();
    if (RenameNew(temporary, state.batch_file, folder, placed)) break;
  }
  folder.Sync();
}

}  // namespace

std::string PeriodFileName(const std::string& sink, seconds start_local, seconds every,
                           bool json_lines) {
  const time_t t = static_cast<time_t>(start_local.count());
  tm face{};
  gmtime_r(&t, &face);  // already on the clock face
  char text[32];
  const char* format = every % std::chrono::hours(24) == seconds(0)    ? "%Y%m%d"
                       : every % std::chrono::minutes(1) == seconds(0) ? "%Y%m%d-%H%M"
                                                                       : "%Y%m%d-%H%M%S";
  std::strftime(text, sizeof text, format, &face);
  return sink + "-" + text + (json_lines ? ".jsonl" : ".csv");
}

FolderSink::FolderSink(DeliverConfig config, std::string database, PunchSignal& stored)
    : SinkWorker(std::move(config), std::move(database), stored) {
  const system_clock::time_point now = system_clock::now();
  const seconds local = LocalSeconds(now);
  next_end_ = now + (PeriodStart(local, this->config().every) + this->config().every - local);
}

std::optional<int64_t> FolderSink::NextBatch(PunchReader& punches, int64_t position) {
  const system_clock::time_point now = system_clock::now();
  if (now < next_end_) return std::nullopt;
  const int64_t last = follower().Newest(punches);
  const seconds every = config().every;
  ended_start_ = PeriodStart(LocalSeconds(next_end_ - seconds(1)), every);
  const seconds local = LocalSeconds(now);
  next_end_ = now + (PeriodStart(local, every) + every - local);
  if (last <= position) return std::nullopt;
  return last;
}

std::chrono::steady_clock::time_point FolderSink::Wake() {
  const auto left = next_end_ - system_clock::now();
  return std::chrono::steady_clock::now() +
         std::chrono::duration_cast<std::chrono::steady_clock::duration>(left);
}

void FolderSink::Begin(SinkState& state) {
  state.batch_file =
      PeriodFileName(config().name, ended_start_, config().every, config().json_lines);
  state.batch_id.clear();
}

Attempt FolderSink::Try(PunchReader& punches, SinkLedger& sinks, SinkState& state) {
  const auto again = [](const std::exception& e) {
    return Attempt{Attempt::Verdict::kRetry, e.what(), std::nullopt};
  };
  try {
    const Fd folder(AT_FDCWD, config().path.string(), O_RDONLY | O_DIRECTORY,
                    config().path.string());
    const Fd temporary = OpenTemporary(folder);
    if (state.batch_id != kFileWritten) {
      WriteFile(punches, state, config().json_lines, temporary);
      temporary.Sync();
      state.batch_id = kFileWritten;
      sinks.SaveSink(state);
    }
    PlaceFile(state, temporary, folder);
    return {};
  } catch (const DeliveryError& e) {  // Refused too
    return again(e);
  }
}

}  // namespace tallygate::collector
