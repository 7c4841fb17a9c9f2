// Plain text files read line by line, the way the library's files have always
// been read: a line ends at CR LF, at LF or at a lone CR, and the end of the
// file ends the last line. Errors are thrown as BasicError ("File not found",
// "Permission denied", "Path not found", ...).
#ifndef TALLYGATE_LINK_CONNECT_TEXT_FILE_H_
#define TALLYGATE_LINK_CONNECT_TEXT_FILE_H_

#include <cstddef>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace tallygate {

// The first `max_lines` lines of a file, without their line ends.
std::vector<std::string> ReadTextLines(
    const std::filesystem::path& path,
    std::size_t max_lines = std::numeric_limits<std::size_t>::max());

// Writes each line followed by CR LF, replacing the file whole: a failed
// write leaves the file as it was.
void WriteTextLines(const std::filesystem::path& path, const std::vector<std::string>& lines);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_TEXT_FILE_H_
