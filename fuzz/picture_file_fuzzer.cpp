// The start-up picture file SendPictureMach reads before it sends anything:
// 32 lines of hexadecimal text.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tallygate/picture_file.h"
#include "link/connect/text_file.h"
#include "tallygate/basic_error.h"

namespace {

using tallygate::fuzz::Require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path file = tallygate::fuzz::WriteScratchFile("picture.txt", data, size);
  std::vector<tallygate::PictureBlock> blocks;
  try {
    blocks = tallygate::ReadPictureBlocks(file.string());
  } catch (const tallygate::BasicError&) {
    Require(tallygate::ReadTextLines(file).size() < tallygate::kPictureBlockCount,
            "only a file of fewer than 32 lines is refused");
    return 0;
  }
  Require(blocks.size() == tallygate::kPictureBlockCount, "a picture is 32 blocks");
  return 0;
}
