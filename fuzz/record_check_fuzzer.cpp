// A collected record file as CheckData reads it: line by line, each line's
// date and time, then the checks of count, order and age.
//
// Input: byte 0 the options (bit 0 decimal card numbers, bit 1 four-digit
// years, bits 2-7 the terminal's count), byte 1 the delay in hours, the rest
// the file. The verdict is checked on its own: a file the check passes has
// every line readable, in order, and at least the terminal's count of them.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "link/connect/collected_data_check.h"
#include "link/connect/text_file.h"
#include "tallygate/basic_error.h"

namespace {

using tallygate::CivilSeconds;
using tallygate::fuzz::Require;

// A fixed "now", so that a run does not depend on the day it is made.
const CivilSeconds kNow = tallygate::ToCivilSeconds(2026, 6, 1, 12, 0, 0);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool decimal = (data[0] & 0x01) != 0;
  const bool full_year = (data[0] & 0x02) != 0;
  const int32_t count = data[0] >> 2;
  const auto delay = static_cast<int16_t>(data[1]);
  const std::filesystem::path file =
      tallygate::fuzz::WriteScratchFile("DataRecordSet_original.txt", data + 2, size - 2);

  const std::vector<std::string> lines = tallygate::ReadTextLines(file);
  tallygate::CheckResult result{};
  try {
    result = tallygate::CheckRecordLines(lines, count, delay, decimal, full_year, kNow);
  } catch (const tallygate::BasicError&) {
    return 0;  // a card field that is no number: -1 with the error's text
  }
  Require(result.code >= 0 && result.code <= 4, "the verdict is one of the codes");
  Require(result.code == 0 || result.description.has_value(), "a fault is described");
  if (result.code != 0) return 0;

  Require(static_cast<int64_t>(lines.size()) >= count, "a passed file holds the count");
  std::optional<CivilSeconds> previous;
  for (const std::string& line : lines) {
    const std::optional<CivilSeconds> time = tallygate::RecordLineTime(line, decimal, full_year);
    Require(time.has_value(), "a passed file has no garbled line");
    Require(!previous || *previous <= *time, "a passed file is in order");
    previous = time;
  }
  Require(!previous || *previous + int64_t{delay} * 3600 >= kNow, "a passed file is recent");
  return 0;
}
