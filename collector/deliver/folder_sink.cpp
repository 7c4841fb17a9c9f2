#include "collector/deliver/folder_sink.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "collector/deliver/delivered_punch.h"

namespace tallygate::collector {
namespace {

using std::chrono::seconds;
using std::chrono::system_clock;

// Punches read from the store at a time while a file is written.
constexpr int kFilePage = 5000;

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
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

// The file descriptor of an open file, closed when it goes.
class File {
 public:
  File(const std::filesystem::path& path, int flags) : path_(path) {
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd_ < 0) Fail("cannot open " + path.string());
  }
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  void Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t wrote = ::write(fd_, bytes.data(), bytes.size());
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote < 0) Fail("cannot write " + path_.string());
      bytes.remove_prefix(static_cast<size_t>(wrote));
    }
  }
  void Sync() {
    if (::fsync(fd_) != 0) Fail("cannot sync " + path_.string());
  }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
};

// Renames `from` to `to` unless `to` is there. False when it is.
bool RenameNew(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno == EEXIST) return false;
  if (errno != EINVAL && errno != ENOSYS) Fail("cannot move the file to " + to.string());
  // A file system without renameat2's flags: a hard link refuses a name
  // that is there as well.
  if (::link(from.c_str(), to.c_str()) != 0) {
    if (errno == EEXIST) return false;
    Fail("cannot move the file to " + to.string());
  }
  ::unlink(from.c_str());
  return true;
}

}  // namespace

std::string PeriodFileName(const std::string& sink, seconds start_local, seconds every,
                           bool json_lines) {
  const time_t t = static_cast<time_t>(start_local.count());
  tm face{};
  gmtime_r(&t, &face);  // already on the clock face
  char text[32];
  const char* format = every % std::chrono::hours(24) == seconds(0)     ? "%Y%m%d"
                       : every % std::chrono::minutes(1) == seconds(0) ? "%Y%m%d-%H%M"
                                                                       : "%Y%m%d-%H%M%S";
  std::strftime(text, sizeof text, format, &face);
  return sink + "-" + text + (json_lines ? ".jsonl" : ".csv");
}

FolderSink::FolderSink(DeliverConfig config, std::string database, PunchSignal& stored)
    : SinkWorker(std::move(config), std::move(database), stored),
      temporary_(this->config().path / ".tallygate-tmp") {
  const system_clock::time_point now = system_clock::now();
  const seconds local = LocalSeconds(now);
  next_end_ = now + (PeriodStart(local, this->config().every) + this->config().every - local);
}

std::optional<int64_t> FolderSink::NextBatch(Store& store, int64_t position) {
  const system_clock::time_point now = system_clock::now();
  if (now < next_end_) return std::nullopt;
  const int64_t last = store.LastPunchId();
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
  state.batch_file = PeriodFileName(config().name, ended_start_, config().every, config().json_lines);
  state.batch_id.clear();
}

void FolderSink::WriteFile(Store& store, const SinkState& state,
                           const std::filesystem::path& file) {
  File out(file, O_WRONLY | O_CREAT | O_TRUNC);
  out.Write(FileHeader(config().json_lines));
  int64_t after = state.position;
  while (after < state.batch_last) {
    const std::vector<PunchRow> rows = store.PunchesAfter(after, kFilePage);
    if (rows.empty()) break;
    std::string text;
    for (const PunchRow& row : rows) {
      if (row.id > state.batch_last) break;
      text += FileRow(row, config().json_lines);
    }
    out.Write(text);
    after = rows.back().id;
  }
  out.Sync();
}

void FolderSink::PlaceFile(SinkState& state) {
  const std::filesystem::path written = temporary_ / state.batch_file;
  std::error_code error;
  if (!std::filesystem::exists(written, error)) return;  // placed before a restart
  const std::filesystem::path name = state.batch_file;
  for (int n = 1;; ++n) {
    if (n > 1000) {
      errno = EEXIST;
      Fail("no free name for " + name.string() + " in " + config().path.string());
    }
    const std::string placed = n == 1 ? name.string()
                                      : name.stem().string() + "-" + std::to_string(n) +
                                            name.extension().string();
    if (RenameNew(written, config().path / placed)) break;
  }
  File folder(config().path, O_RDONLY | O_DIRECTORY);
  folder.Sync();
}

Attempt FolderSink::Try(Store& store, SinkState& state) {
  try {
    if (state.batch_id != kFileWritten) {
      std::filesystem::create_directories(temporary_);
      WriteFile(store, state, temporary_ / state.batch_file);
      File(temporary_, O_RDONLY | O_DIRECTORY).Sync();
      state.batch_id = kFileWritten;
      store.SaveSink(state);
    }
    PlaceFile(state);
    return {};
  } catch (const std::system_error& e) {
    return {Attempt::Result::kRetry, e.what(), std::nullopt};
  }
}

}  // namespace tallygate::collector
