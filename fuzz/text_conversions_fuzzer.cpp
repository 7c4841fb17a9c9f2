// Text that callers hand over: the component layer's conversions from text
// to every value kind (numbers, dates, Booleans), and the command layer's
// text forms of card numbers and hexadecimal pairs.
//
// Beyond not crashing, what the library writes as text must read back: a
// number it formats, a date it formats, a card number it writes in decimal.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "link/connect/text_encodings.h"
#include "tallygate/basic_convert.h"
#include "tallygate/basic_error.h"
#include "tallygate/conversions.h"
#include "tallygate/date.h"
#include "tallygate/record_line.h"
#include "tallygate/variant.h"

namespace {

using tallygate::ChangeType;
using tallygate::Variant;
using tallygate::fuzz::Require;

constexpr int32_t kKinds[] = {TG_I2, TG_I4, TG_R4, TG_R8, TG_DATE, TG_BOOL, TG_BYTE, TG_TEXT};

std::optional<Variant> Converted(const Variant& from, int32_t kind) {
  try {
    return ChangeType(from, kind);
  } catch (const tallygate::BasicError&) {
    return std::nullopt;
  }
}

// Fifteen digits round the largest doubles up past the largest double, which
// then no longer reads back (as in Basic); below that every value must.
constexpr double kLargestReadableRounding = 1.79769313486231e308;

void CheckNumberReadsBack(double value) {
  if (!std::isfinite(value) || std::fabs(value) > kLargestReadableRounding) return;
  const std::string text = tallygate::FormatNumber(value, 15);
  const std::optional<Variant> back = Converted(Variant(text), TG_R8);
  Require(back.has_value(), "a formatted number reads as a number");
  const double error = std::fabs(back->r8() - value);
  Require(error <= 1e-14 * std::fabs(value) || error <= 1e-300, "a formatted number keeps its value");
}

void CheckDateReadsBack(std::string_view text) {
  const std::optional<tallygate::Date> date = tallygate::ParseDateText(text);
  if (!date) return;
  const std::string formatted = tallygate::FormatDate(*date);
  const std::optional<tallygate::Date> back = tallygate::ParseDateText(formatted);
  Require(back.has_value(), "a formatted date reads as a date");
  Require(tallygate::SplitDate(*back) == tallygate::SplitDate(*date),
          "a formatted date keeps its value");
}

void CheckCardText(std::string_view text) {
  std::array<uint8_t, 4> card{};
  try {
    card = tallygate::DecimalCardBytes(text);
  } catch (const tallygate::BasicError&) {
    return;
  }
  // The decimal card field of a collected line goes back to the same card.
  const std::string field = tallygate::CardField(card, true);
  Require(tallygate::DecimalCardBytes(field) == card, "a decimal card field reads back");
}

void CheckHexForms(std::string_view text) {
  const std::vector<uint8_t> pairs = tallygate::LenientHexPairs(text, 8);
  Require(pairs.size() == 8, "lenient pairs come in the count asked for");
  try {
    tallygate::StrictHexByte(text.substr(0, 2));
  } catch (const tallygate::BasicError&) {
  }
  // Widths count characters; in ASCII text that is bytes.
  const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
  for (const size_t width : {size_t{0}, size_t{4}, size_t{8}}) {
    const std::string filled = tallygate::FillLeft(text, width);
    Require(!ascii || filled.size() == width, "a filled text has its width");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Variant value(text);
  for (const int32_t kind : kKinds) {
    const std::optional<Variant> converted = Converted(value, kind);
    if (converted && kind == TG_R8) CheckNumberReadsBack(converted->r8());
    if (converted && kind == TG_DATE) CheckNumberReadsBack(converted->date().serial);
  }
  // Numbers beyond a double's range, or hexadecimal beyond 32 bits, are an
  // "Overflow", as in Basic.
  try {
    const double val = tallygate::Val(text);
    CheckNumberReadsBack(val);
    tallygate::RoundToInt32(val);
  } catch (const tallygate::BasicError&) {
  }
  try {
    if (const std::optional<double> number = tallygate::ParseNumber(text)) CheckNumberReadsBack(*number);
  } catch (const tallygate::BasicError&) {
  }
  CheckDateReadsBack(text);
  CheckCardText(text);
  CheckHexForms(text);
  return 0;
}
