#include "link/connect/paged_collection.h"

#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "tallygate/basic_error.h"
#include "tallygate/whole_file.h"

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
                            const StoredPosition& stored, const PageHook& on_page) {
  CollectedLines collected;
  collected.lines.resize(static_cast<size_t>(count) + 1);
  const Result<FetchReport> report =
      FetchPages(exchange, address, count, 0, plan,
                 [&](int32_t position, std::span<const uint8_t> unit, bool) {
                   collected.lines[static_cast<size_t>(position)] = line(unit);
                   if (position > collected.highest_stored) collected.highest_stored = position;
                 },
                 stored, on_page);
  // A fetch from 0 fails only when stopped, which no call of the object asks.
  collected.stopped = !report || report->stopped_early;
  return collected;
}

void WriteCollectedFile(const std::filesystem::path& file, const CollectedLines& collected,
                        int32_t& written) {
  try {
    WholeFile out(file);
    for (int32_t j = 0; j <= collected.highest_stored; ++j) {
      out.Write(collected.lines[static_cast<size_t>(j)]);
      out.Write("\r\n");
    }
    out.Commit();
  } catch (const std::system_error& error) {
    throw ErrorFromErrno(error.code().value(), file.string());
  }
  written += collected.highest_stored + 1;
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
