// Page-by-page collection, shared by the record and card-list collections.
//
// A page request [4, command, page, check] makes the terminal stream the
// page's units back to back (256 a page, the last page holds the rest); each
// unit is read and validated by itself. A page whose attempt misses a unit is
// requested again, up to a budget of attempts; two misses in one attempt end
// that attempt at once. A page whose last attempt still missed units is lost,
// and three lost pages end the collection.
#ifndef TALLYGATE_LINK_CONNECT_PAGED_COLLECTION_H_
#define TALLYGATE_LINK_CONNECT_PAGED_COLLECTION_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "link/protocol/exchange.h"

namespace tallygate {

inline constexpr int32_t kUnitsPerPage = 256;

struct PagePlan {
  uint8_t command;
  int unit_length;
  int attempts;                // per page
  bool pause_before_attempts;  // 30 ms before every attempt, or once per page
  float unit_wait_seconds;
  // Turns a valid unit into its line.
  std::function<std::string(std::span<const uint8_t> unit)> line;
  // Called with each stored position (progress), may throw.
  std::function<void(int32_t position)> stored;
};

struct CollectedLines {
  std::vector<std::string> lines;  // one per position; empty where nothing came
  int32_t highest_stored = -1;     // the file ends here
  bool stopped = false;            // three pages were lost
  // True when every position from 0 to count-1 holds a line.
  bool Complete() const;
};

CollectedLines CollectPages(FrameExchange& exchange, uint8_t address, int32_t count,
                            const PagePlan& plan);

// Writes lines 0 to `collected.highest_stored` to `file` (created or
// truncated), each followed by CR LF, adding one to `written` for every line
// that reached the file. Throws BasicError on a file error.
void WriteCollectedFile(const std::filesystem::path& file, const CollectedLines& collected,
                        int32_t& written);

// VarFilePath/VarFileName. A path the file system cannot look up at all (a
// NUL in it) throws "Bad file name or number"; a folder that does not exist
// gives false.
bool CollectionFolderExists(const std::string& folder);
std::filesystem::path CollectionFile(const std::string& folder, const std::string& name);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_PAGED_COLLECTION_H_
