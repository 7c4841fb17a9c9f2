// Collection into lines: the units of a terminal's pages (fetched as the
// terminal API fetches them, page_fetch.h), each turned into the line of its
// position, and the file those lines are written to.
#ifndef TALLYGATE_LINK_CONNECT_PAGED_COLLECTION_H_
#define TALLYGATE_LINK_CONNECT_PAGED_COLLECTION_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "link/protocol/exchange.h"
#include "link/terminal/page_fetch.h"

namespace tallygate {

// Turns a valid unit into its line.
using UnitLine = std::function<std::string(std::span<const uint8_t> unit)>;
// Called with the position of each unit as it arrives (progress), may throw.
using StoredPosition = std::function<void(int32_t position)>;

struct CollectedLines {
  std::vector<std::string> lines;  // one per position; empty where nothing came
  int32_t highest_stored = -1;     // the file ends here
  bool stopped = false;            // three pages were lost
  // True when every position from 0 to count-1 holds a line.
  bool Complete() const;
};

// Every unit that comes becomes the line at its place in the stream (a later
// attempt at its page replaces it); `stored` sees each unit as it arrives
// and `on_page` each attempt at a page and each page done (progress).
CollectedLines CollectPages(FrameExchange& exchange, uint8_t address, int32_t count,
                            const PagePlan& plan, const UnitLine& line,
                            const StoredPosition& stored, const PageHook& on_page = nullptr);

// Replaces `file` whole with lines 0 to `collected.highest_stored`, each
// followed by CR LF, and adds their number to `written` once they are all
// in it; a failure leaves the old file and `written` as they were. Throws
// BasicError on a file error.
void WriteCollectedFile(const std::filesystem::path& file, const CollectedLines& collected,
                        int32_t& written);

// VarFilePath/VarFileName. A path the file system cannot look up at all (a
// NUL in it) throws "Bad file name or number"; a folder that does not exist
// gives false.
bool CollectionFolderExists(const std::string& folder);
std::filesystem::path CollectionFile(const std::string& folder, const std::string& name);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_PAGED_COLLECTION_H_
