#include "link/connect/paged_collection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "link/transport/wait.h"
#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

constexpr int kPagePauseMs = 30;
constexpr int kLostPagesLimit = 3;

}  // namespace

bool CollectedLines::Complete() const {
  if (stopped || lines.empty()) return !stopped;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].empty()) return false;
  }
  return true;
}

CollectedLines CollectPages(FrameExchange& exchange, uint8_t address, int32_t count,
                            const PagePlan& plan) {
  CollectedLines collected;
  collected.lines.resize(static_cast<size_t>(count) + 1);
  const int32_t pages = (count + kUnitsPerPage - 1) / kUnitsPerPage;
  int lost_pages = 0;
  for (int32_t page = 1; page <= pages; ++page) {
    const int32_t units = page < pages ? kUnitsPerPage : count - (pages - 1) * kUnitsPerPage;
    const int32_t first_position = (page - 1) * kUnitsPerPage;
    if (!plan.pause_before_attempts) Pause(kPagePauseMs);
    int missed = 0;
    for (int budget = plan.attempts; budget > 0;) {
      if (plan.pause_before_attempts) Pause(kPagePauseMs);
      --budget;
      Bytes request = MakeFrame(plan.command, {static_cast<uint8_t>(page)});
      exchange.SendFrame(address, request, 4);
      missed = 0;
      for (int32_t i = 0; i < units; ++i) {
        Bytes unit;
        if (!exchange.ReceiveFrame(address, plan.unit_wait_seconds, plan.unit_length, unit)) {
          if (++missed >= 2) break;
          continue;
        }
        const int32_t position = first_position + i;
        collected.lines[static_cast<size_t>(position)] = plan.line(unit);
        if (position > collected.highest_stored) collected.highest_stored = position;
        if (plan.stored) plan.stored(position);
      }
      if (missed == 0) break;
    }
    // Lost: the last attempt still missed units. A page whose last attempt
    // was complete is not.
    if (missed > 0 && ++lost_pages >= kLostPagesLimit) {
      collected.stopped = true;
      break;
    }
  }
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
