#include "tallygate/code_tables.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "tallygate/basic_convert.h"
#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

uint8_t LenientHexByte(std::string_view digits) {
  std::string literal = "&H";
  literal += digits;
  // Two digits at most, so the value is 0..255.
  return static_cast<uint8_t>(Val(literal));
}

// Loading and the pointer swap are serialised by separate locks, so that
// readers never wait for a file to be read.
std::mutex load_mutex;
std::mutex tables_mutex;
std::shared_ptr<const CodeTables> loaded_tables;

void Publish(std::shared_ptr<const CodeTables> tables) {
  std::lock_guard lock(tables_mutex);
  loaded_tables = std::move(tables);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// getline's buffer, which it may move as lines grow.
struct LineBuffer {
  char* data = nullptr;
  size_t capacity = 0;
  LineBuffer() = default;
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  ~LineBuffer() { std::free(data); }
};

std::shared_ptr<const CodeTables> ReadCodeTables(const std::filesystem::path& rm_txt) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(rm_txt.c_str(), "rb"));
  if (!file) throw ErrorFromErrno(errno, rm_txt.string());
  auto tables = std::make_shared<CodeTables>();
  LineBuffer line;
  for (;;) {
    errno = 0;
    const ssize_t length = ::getline(&line.data, &line.capacity, file.get());
    if (length < 0) {
      if (std::ferror(file.get())) throw ErrorFromErrno(errno != 0 ? errno : EIO, rm_txt.string());
      break;
    }
    std::string_view text(line.data, static_cast<size_t>(length));
    if (text.ends_with('\n')) text.remove_suffix(1);
    if (text.ends_with('\r')) text.remove_suffix(1);
    tables->Append(std::string(text));
  }
  return tables;
}

}  // namespace

uint16_t EntryCode(std::string_view entry) {
  const std::string_view first = entry.substr(0, 2);
  const std::string_view second = entry.size() > 2 ? entry.substr(2, 2) : std::string_view();
  return static_cast<uint16_t>(LenientHexByte(first) << 8 | LenientHexByte(second));
}

int CodeTables::Size(CodeTable table) const { return static_cast<int>(Of(table).codes.size()); }

void CodeTables::CheckIndex(CodeTable table, int index) const {
  if (index < 0 || index >= Size(table)) throw BasicError(err::kSubscriptOutOfRange);
}

uint16_t CodeTables::Code(CodeTable table, int index) const {
  CheckIndex(table, index);
  return Of(table).codes[static_cast<size_t>(index)];
}

const std::string& CodeTables::Text(CodeTable table, int index) const {
  CheckIndex(table, index);
  return Of(table).texts[static_cast<size_t>(index)];
}

void CodeTables::Append(std::string text) {
  Table* table;
  if (big5_to_gb_.codes.size() < static_cast<size_t>(kBig5ToGbEntries)) {
    table = &big5_to_gb_;
  } else if (gb_to_big5_.codes.size() < static_cast<size_t>(kGbToBig5Entries)) {
    table = &gb_to_big5_;
  } else {
    throw BasicError(err::kSubscriptOutOfRange);
  }
  table->codes.push_back(EntryCode(text));
  table->texts.push_back(std::move(text));
}

void LoadCodeTables(const std::filesystem::path& rm_txt) {
  std::lock_guard lock(load_mutex);
  Publish(ReadCodeTables(rm_txt));
}

bool EnsureCodeTablesLoaded(const std::filesystem::path& rm_txt) {
  std::lock_guard lock(load_mutex);
  if (CodeTablesLoaded()) return false;
  Publish(ReadCodeTables(rm_txt));
  return true;
}

bool CodeTablesLoaded() {
  std::lock_guard lock(tables_mutex);
  return loaded_tables != nullptr;
}

std::shared_ptr<const CodeTables> CurrentCodeTables() {
  std::lock_guard lock(tables_mutex);
  if (!loaded_tables) throw BasicError(err::kSubscriptOutOfRange);
  return loaded_tables;
}

void UnloadCodeTablesForTesting() { Publish(nullptr); }

}  // namespace tallygate
