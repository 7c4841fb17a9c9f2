// The registration store: which library serves which programmatic
// identifier. Where the store files are and what they hold is described in
// tallygate/component_server.h.
#ifndef TALLYGATE_REGISTRY_H_
#define TALLYGATE_REGISTRY_H_

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallygate::registry {

struct Entry {
  std::string prog_id;
  std::string class_id;
  std::filesystem::path library;  // absolute
  friend bool operator==(const Entry&, const Entry&) = default;
};

// The environment variable that names the only store, for tests.
inline constexpr const char* kStoreVariable = "TALLYGATE_REGISTRY";

// The system-wide store file.
std::filesystem::path SystemStore();

// The store DllRegisterServer writes: $TALLYGATE_REGISTRY, or the per-user
// file.
std::filesystem::path WritableStore();

// The stores a look-up reads, in order: $TALLYGATE_REGISTRY alone, or the
// per-user file and then the system-wide one.
std::vector<std::filesystem::path> SearchPath();

// The well-formed entries of one store file, in order; none when it does
// not exist. Throws BasicError when it exists but cannot be read.
std::vector<Entry> ReadStore(const std::filesystem::path& store);

struct Found {
  Entry entry;
  std::filesystem::path store;  // where it was found
};

// The first entry for `prog_id` (compared case-insensitively) along
// SearchPath(). Stores that cannot be read are passed over.
std::optional<Found> Find(std::string_view prog_id);

// Records `entry` in `store`, replacing any entry with the same
// programmatic identifier or class id; other lines, comments included, stay
// as they were. Creates the file and its folder when needed. The file is
// replaced in one step, and concurrent writers wait for each other. Throws
// BasicError (70 "Permission denied", 75 "Path/File access error", ...), or
// 5 for an entry whose fields hold a tab or a line break or whose path is
// not absolute.
void Add(const std::filesystem::path& store, const Entry& entry);

// Removes every entry with this class id from `store`; true when there was
// one. A missing store has none.
bool Remove(const std::filesystem::path& store, std::string_view class_id);

}  // namespace tallygate::registry

#endif  // TALLYGATE_REGISTRY_H_
