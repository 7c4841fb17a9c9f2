// The start-up picture file that SendPictureMach reads: 32 lines of
// hexadecimal text, 16 bytes a line, 512 bytes in all.
#ifndef TALLYGATE_PICTURE_FILE_H_
#define TALLYGATE_PICTURE_FILE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tallygate {

inline constexpr size_t kPictureBlockCount = 32;
inline constexpr size_t kPictureBlockBytes = 16;
using PictureBlock = std::array<uint8_t, kPictureBlockBytes>;

// The blocks of the first 32 lines: characters 1-2, 3-4, ... 31-32 of a line
// are its 16 bytes in hexadecimal, read up to the first character that is no
// hexadecimal digit; a missing pair is 0. Throws BasicError: the file's own
// error when it cannot be read, "Input past end of file" for fewer than 32
// lines, "Bad file name or number" for a path holding a NUL.
std::vector<PictureBlock> ReadPictureBlocks(const std::string& path);

}  // namespace tallygate

#endif  // TALLYGATE_PICTURE_FILE_H_
