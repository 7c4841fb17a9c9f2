#include "tallygate/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <system_error>

#include "tallygate/ascii_text.h"
#include "tallygate/basic_error.h"
#include "tallygate/whole_file.h"

#ifndef TALLYGATE_SYSTEM_REGISTRY
#define TALLYGATE_SYSTEM_REGISTRY "/etc/tallygate/components"
#endif

namespace tallygate::registry {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader =
    "# TALLYGATE component registrations: programmatic identifier, class id and\n"
    "# library path, separated by tabs.\n";

std::string EnvText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

fs::path UserStore() {
  fs::path base = EnvText("XDG_CONFIG_HOME");
  if (base.empty()) {
    const std::string home = EnvText("HOME");
    base = fs::path(home.empty() ? "/tmp" : home) / ".config";
  }
  return base / "tallygate" / "components";
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::optional<Entry> ParseLine(std::string_view line) {
  if (line.empty() || line.front() == '#') return std::nullopt;
  const size_t first = line.find('\t');
  if (first == std::string_view::npos) return std::nullopt;
  const size_t second = line.find('\t', first + 1);
  if (second == std::string_view::npos || line.find('\t', second + 1) != std::string_view::npos) {
    return std::nullopt;
  }
  Entry entry{std::string(line.substr(0, first)),
              std::string(line.substr(first + 1, second - first - 1)),
              fs::path(line.substr(second + 1))};
  if (entry.prog_id.empty() || entry.class_id.empty() || !entry.library.is_absolute()) {
    return std::nullopt;
  }
  return entry;
}

// The store's text; empty when it does not exist.
std::string ReadText(const fs::path& store) {
  const int fd = ::open(store.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    throw ErrorFromErrno(errno, store.string());
  }
  std::string text;
  char buffer[4096];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int saved = errno;
      ::close(fd);
      throw ErrorFromErrno(saved, store.string());
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

bool HasLineBreakOrTab(std::string_view text) {
  return text.find_first_of("\t\r\n") != std::string_view::npos;
}

// Held while a store is rewritten: writers of the same store take turns. The
// lock lives in a file of its own, since the store itself is replaced.
class StoreLock {
 public:
  explicit StoreLock(const fs::path& store) {
    const std::string path = store.string() + ".lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) throw ErrorFromErrno(errno, path);
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        const int saved = errno;
        ::close(fd_);
        throw ErrorFromErrno(saved, path);
      }
    }
  }
  ~StoreLock() { ::close(fd_); }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  int fd_ = -1;
};

// Puts the new text in the store's place whole: a reader sees the old store
// or the new one, never a part.
void ReplaceStore(const fs::path& store, const std::string& text) {
  try {
    WriteWholeFile(store, text);
  } catch (const std::system_error& error) {
    throw ErrorFromErrno(error.code().value(), store.string());
  }
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}

}  // namespace

fs::path SystemStore() { return TALLYGATE_SYSTEM_REGISTRY; }

fs::path WritableStore() {
  const std::string named = EnvText(kStoreVariable);
  return named.empty() ? UserStore() : fs::path(named);
}

std::vector<fs::path> SearchPath() {
  const std::string named = EnvText(kStoreVariable);
  if (!named.empty()) return {fs::path(named)};
  return {UserStore(), SystemStore()};
}

std::vector<Entry> ReadStore(const fs::path& store) {
  std::vector<Entry> entries;
  for (const std::string& line : SplitLines(ReadText(store))) {
    if (std::optional<Entry> entry = ParseLine(line)) entries.push_back(std::move(*entry));
  }
  return entries;
}

std::optional<Found> Find(std::string_view prog_id) {
  for (const fs::path& store : SearchPath()) {
    std::vector<Entry> entries;
    try {
      entries = ReadStore(store);
    } catch (const BasicError&) {
      continue;
    }
    for (Entry& entry : entries) {
      if (EqualsIgnoringCase(entry.prog_id, prog_id)) return Found{std::move(entry), store};
    }
  }
  return std::nullopt;
}

void Add(const fs::path& store, const Entry& entry) {
  if (entry.prog_id.empty() || entry.class_id.empty() || HasLineBreakOrTab(entry.prog_id) ||
      HasLineBreakOrTab(entry.class_id) || HasLineBreakOrTab(entry.library.string()) ||
      !entry.library.is_absolute() || entry.prog_id.front() == '#') {
    throw BasicError(err::kInvalidProcedureCall);
  }
  std::error_code ec;
  if (store.has_parent_path()) {
    fs::create_directories(store.parent_path(), ec);
    if (ec) throw ErrorFromErrno(ec.value(), store.parent_path().string());
  }
  StoreLock lock(store);
  std::vector<std::string> lines = SplitLines(ReadText(store));
  if (lines.empty()) lines = SplitLines(kHeader);
  std::erase_if(lines, [&](const std::string& line) {
    std::optional<Entry> old = ParseLine(line);
    return old && (EqualsIgnoringCase(old->prog_id, entry.prog_id) ||
                   EqualsIgnoringCase(old->class_id, entry.class_id));
  });
  lines.push_back(entry.prog_id + '\t' + entry.class_id + '\t' + entry.library.string());
  ReplaceStore(store, JoinLines(lines));
}

bool Remove(const fs::path& store, std::string_view class_id) {
  std::error_code ec;
  if (!fs::exists(store, ec)) return false;
  StoreLock lock(store);
  std::vector<std::string> lines = SplitLines(ReadText(store));
  const size_t before = lines.size();
  std::erase_if(lines, [&](const std::string& line) {
    std::optional<Entry> old = ParseLine(line);
    return old && EqualsIgnoringCase(old->class_id, class_id);
  });
  if (lines.size() == before) return false;
  ReplaceStore(store, JoinLines(lines));
  return true;
}

}  // namespace tallygate::registry
