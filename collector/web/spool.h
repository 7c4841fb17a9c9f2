// A download's bytes in a temporary file: written as fast as the store
// yields them, read back as fast as the client takes them. The file has
// no name (std::tmpfile, under /tmp), so nothing is left behind, whatever
// happens to the process.
#ifndef TALLYGATE_COLLECTOR_WEB_SPOOL_H_
#define TALLYGATE_COLLECTOR_WEB_SPOOL_H_

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "collector/base/failure.h"

namespace tallygate::collector::web {

// A temporary file that cannot be made, written or read (a full disk):
// the download fails, its reason logged.
class SpoolError : public Failure {
 public:
  using Failure::Failure;
};

class Spool {
 public:
  // Throws SpoolError when no temporary file can be made.
  Spool();

  // Throws SpoolError when the file cannot take them (a full disk).
  void Append(std::string_view bytes);
  // Writes out what Append buffered; before the first Read.
  void Finish();

  // Up to `count` bytes from `offset` (none past the end).
  // Throws SpoolError.
  std::string Read(size_t offset, size_t count) const;

 private:
  struct Close {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Close> file_;
};

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_SPOOL_H_
