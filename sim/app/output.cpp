#include "sim/app/output.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace tallygate::sim {

void Output::Line(std::string_view line) {
  std::string text(line);
  text += '\n';
  const char* at = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, at, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nobody reads any more; the simulation goes on
    at += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace tallygate::sim
