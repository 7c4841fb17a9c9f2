#include "collector/web/spool.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tallygate::collector::web {
namespace {

[[noreturn]] void Fail(const char* what) {
  throw SpoolError(std::string("the download's temporary file: ") + what + ": " +
                   std::strerror(errno));
}

}  // namespace

Spool::Spool() : file_(std::tmpfile()) {
  if (!file_) Fail("cannot make it");
}

void Spool::Append(std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) Fail("cannot write");
}

void Spool::Finish() {
  if (std::fflush(file_.get()) != 0) Fail("cannot write");
}

std::string Spool::Read(size_t offset, size_t count) const {
  std::string bytes(count, '\0');
  const ssize_t got = pread(fileno(file_.get()), bytes.data(), count, static_cast<off_t>(offset));
  if (got < 0) Fail("cannot read");
  bytes.resize(static_cast<size_t>(got));
  return bytes;
}

}  // namespace tallygate::collector::web
