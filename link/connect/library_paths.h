// Where the library keeps its files.
//
// TallySystem.ini lives in the settings folder: the folder named by the
// environment variable TALLYGATE_HOME when it is set; otherwise the folder
// the library was loaded from, when it is writable and not the package
// manager's; otherwise the per-user folder $XDG_CONFIG_HOME/tallygate (by
// default ~/.config/tallygate), made on first use.
//
// "rm.txt" ships beside the library and is only read: it lives in
// TALLYGATE_HOME when that is set, otherwise in the library's folder.
#ifndef TALLYGATE_LINK_CONNECT_LIBRARY_PATHS_H_
#define TALLYGATE_LINK_CONNECT_LIBRARY_PATHS_H_

#include <filesystem>

namespace tallygate {

// The folder of the file this code was loaded from (the shared library, or
// the program it was linked into).
std::filesystem::path LibraryFolder();

std::filesystem::path SettingsFolder();

// True for a folder the package manager owns (/usr and /lib and what is
// below them, but not /usr/local): a library installed from a package keeps
// no settings beside itself, even when root runs it, since that folder is
// shared by every installed library and its files are the packages'.
bool IsPackageManagerFolder(const std::filesystem::path& folder);
std::filesystem::path TablesFolder();

inline constexpr const char* kSettingsFileName = "TallySystem.ini";
inline constexpr const char* kTablesFileName = "rm.txt";

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_LIBRARY_PATHS_H_
