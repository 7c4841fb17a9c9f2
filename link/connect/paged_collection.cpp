#include "link/connect/paged_collection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tallygate/basic_error.h"

namespace tallygate {

bool CollectedLines::Complete() const {
  if (stopped || lines.empty()) return !stopped;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].empty()) return false;
  }
  return true;
}

CollectedLines CollectPages(FrameExchange& exchange, uint8_t address, int32_t count,
                            const PagePlan& plan, const UnitLine& line,
                            const StoredPosition& stored) {
  CollectedLines collected;
  collected.lines.resize(static_cast<size_t>(count) + 1);
  const Result<FetchReport> report =
      FetchPages(exchange, address, count, 0, plan,
                 [&](int32_t position, std::span<const uint8_t> unit, bool) {
                   collected.lines[static_cast<size_t>(position)] = line(unit);
                   if (position > collected.highest_stored) collected.highest_stored = position;
                 },
                 stored);
  // A fetch from 0 fails only when stopped, which no call of the object asks.
  collected.stopped = !report || report->stopped_early;
  return collected;
}

void WriteCollectedFile(const std::filesystem::path& file, const CollectedLines& collected,
                        int32_t& written) {
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw ErrorFromErrno(errno, file.string());
  std::string buffer;
  int32_t lines_in_buffer = 0;
  auto flush = [&] {
    size_t done = 0;
    while (done < buffer.size()) {
      const ssize_t n = write(fd, buffer.data() + done, buffer.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        close(fd);
        throw ErrorFromErrno(error, file.string());
      }
      done += static_cast<size_t>(n);
    }
    written += lines_in_buffer;
    buffer.clear();
    lines_in_buffer = 0;
  };
  for (int32_t j = 0; j <= collected.highest_stored; ++j) {
    buffer += collected.lines[static_cast<size_t>(j)];
    buffer += "\r\n";
    ++lines_in_buffer;
    if (buffer.size() >= 64 * 1024) flush();
  }
  flush();
  if (close(fd) != 0) throw ErrorFromErrno(errno, file.string());
}

bool CollectionFolderExists(const std::string& folder) {
  if (folder.find('\0') != std::string::npos) throw BasicError(err::kBadFileNameOrNumber);
  struct stat info {};
  if (stat(folder.c_str(), &info) == 0) return true;
  if (errno == ENOENT || errno == ENOTDIR) return false;
  if (errno == ENAMETOOLONG) throw BasicError(err::kBadFileNameOrNumber);
  return false;
}

std::filesystem::path CollectionFile(const std::string& folder, const std::string& name) {
  return std::filesystem::path(folder + "/" + name);
}

}  // namespace tallygate
