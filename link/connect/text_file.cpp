#include "link/connect/text_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "tallygate/basic_error.h"
#include "tallygate/whole_file.h"

namespace tallygate {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Open(const std::filesystem::path& path, const char* mode) {
  std::FILE* file = std::fopen(path.c_str(), mode);
  if (file == nullptr) throw ErrorFromErrno(errno, path.string());
  return File(file);
}

}  // namespace

std::vector<std::string> ReadTextLines(const std::filesystem::path& path, std::size_t max_lines) {
  File file = Open(path, "rb");
  std::vector<std::string> lines;
  std::string line;
  bool in_line = false;
  int c;
  while (lines.size() < max_lines && (c = std::getc(file.get())) != EOF) {
    if (c == '\r' || c == '\n') {
      if (c == '\r') {
        int next = std::getc(file.get());
        if (next != '\n' && next != EOF) std::ungetc(next, file.get());
      }
      lines.push_back(std::move(line));
      line.clear();
      in_line = false;
    } else {
      line += static_cast<char>(c);
      in_line = true;
    }
  }
  if (std::ferror(file.get())) throw BasicError(err::kDeviceIoError);
  if (in_line && lines.size() < max_lines) lines.push_back(std::move(line));
  return lines;
}

void WriteTextLines(const std::filesystem::path& path, const std::vector<std::string>& lines) {
  try {
    WholeFile file(path);
    for (const std::string& line : lines) {
      file.Write(line);
      file.Write("\r\n");
    }
    file.Commit();
  } catch (const std::system_error& error) {
    throw ErrorFromErrno(error.code().value(), path.string());
  }
}

}  // namespace tallygate
