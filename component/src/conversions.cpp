// Every conversion between value kinds, by target kind. Each target reads
// its source through one of the readers below; a source a reader does not
// list is a type mismatch. docs/conversions.md is the same rules as a table.
#include "tallygate/conversions.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "tallygate/ascii_text.h"
#include "tallygate/basic_convert.h"
#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

[[noreturn]] void Mismatch() { throw BasicError(err::kTypeMismatch); }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view TextOf(const tg_value& v) {
  if (v.u.text.data == nullptr) return {};
  return {v.u.text.data, static_cast<size_t>(v.u.text.length)};
}

// Source readers -----------------------------------------------------------

// Empty 0; numbers as they are; True -1, False 0; text read as a number
// (blanks, sign, decimals, exponent, &H, &O); a date as its serial.
double NumberOf(const tg_value& v) {
  switch (v.kind) {
    case TG_EMPTY: return 0;
    case TG_BYTE: return v.u.byte_value;
    case TG_I2: return v.u.i2;
    case TG_I4: return v.u.i4;
    case TG_R4: return v.u.r4;
    case TG_R8: return v.u.r8;
    case TG_BOOL: return v.u.boolean != 0 ? -1 : 0;
    case TG_DATE: return v.u.date;
    case TG_TEXT: {
      std::optional<double> number = ParseNumber(TextOf(v));
      if (!number) Mismatch();
      return *number;
    }
    default: Mismatch();
  }
}

// Empty false; numbers and dates true when not zero; text "True" or "False"
// in any case, or a number.
bool BooleanOf(const tg_value& v) {
  switch (v.kind) {
    case TG_BOOL: return v.u.boolean != 0;
    case TG_TEXT: {
      const std::string_view text = Trim(TextOf(v));
      if (EqualsIgnoringCase(text, "True")) return true;
      if (EqualsIgnoringCase(text, "False")) return false;
      return NumberOf(v) != 0;
    }
    default: return NumberOf(v) != 0;
  }
}

// Empty ""; integers in decimal; singles to 7 and doubles to 15 significant
// digits, plain decimal; "True" or "False"; dates as FormatDate writes them.
std::string TextFrom(const tg_value& v) {
  switch (v.kind) {
    case TG_EMPTY: return {};
    case TG_TEXT: return std::string(TextOf(v));
    case TG_BYTE: return std::to_string(v.u.byte_value);
    case TG_I2: return std::to_string(v.u.i2);
    case TG_I4: return std::to_string(v.u.i4);
    case TG_R4: return FormatNumber(v.u.r4, 7);
    case TG_R8: return FormatNumber(v.u.r8, 15);
    case TG_BOOL: return v.u.boolean != 0 ? "True" : "False";
    case TG_DATE: return FormatDate(Date{v.u.date});
    default: Mismatch();
  }
}

// Empty is day 0 at midnight; numbers and Booleans are serials, which must
// fall within 100-01-01 and 9999-12-31; text is read by ParseDateText.
Date DateOf(const tg_value& v) {
  switch (v.kind) {
    case TG_DATE: return Date{v.u.date};
    case TG_TEXT: {
      std::optional<Date> date = ParseDateText(TextOf(v));
      if (!date) Mismatch();
      return *date;
    }
    default: {
      const double serial = NumberOf(v);
      if (!IsDateSerial(serial)) throw BasicError(err::kOverflow);
      return Date{serial};
    }
  }
}

float SingleOf(const tg_value& v) {
  const double number = NumberOf(v);
  if (std::isnan(number)) return std::numeric_limits<float>::quiet_NaN();
  if (std::fabs(number) > static_cast<double>(std::numeric_limits<float>::max())) {
    throw BasicError(err::kOverflow);
  }
  return static_cast<float>(number);
}

// An object as it is; Empty is Nothing.
Variant ObjectOf(const tg_value& v) {
  if (v.kind == TG_OBJECT) return Variant(v.u.object);
  if (v.kind == TG_EMPTY) return Variant(nullptr);
  Mismatch();
}

Variant ArrayOf(const tg_value& v, int32_t element_kind) {
  if (v.kind != TG_ARRAY) Mismatch();
  std::vector<Variant> items;
  items.reserve(static_cast<size_t>(v.u.array.count));
  for (int32_t i = 0; i < v.u.array.count; ++i) {
    const tg_value& item = v.u.array.items[i];
    items.push_back(element_kind == TG_EMPTY ? Variant::Copy(item)
                                             : ChangeType(item, element_kind));
  }
  return Variant(std::move(items));
}

}  // namespace

Variant ChangeType(const tg_value& in, int32_t kind, int32_t element_kind) {
  if (in.kind == TG_BYREF && in.u.ref == nullptr) Mismatch();
  const tg_value& from = in.kind == TG_BYREF ? *in.u.ref : in;
  if (from.kind == TG_MISSING || from.kind == TG_BYREF) Mismatch();
  switch (kind) {
    case TG_BYTE: return Variant(RoundToByte(NumberOf(from)));
    case TG_I2: return Variant(RoundToInt16(NumberOf(from)));
    case TG_I4: return Variant(RoundToInt32(NumberOf(from)));
    case TG_R4: return Variant(SingleOf(from));
    case TG_R8: return Variant(NumberOf(from));
    case TG_BOOL: return Variant(BooleanOf(from));
    case TG_TEXT: return Variant(TextFrom(from));
    case TG_DATE: return Variant(DateOf(from));
    case TG_OBJECT: return ObjectOf(from);
    case TG_ARRAY: return ArrayOf(from, element_kind);
    default: Mismatch();
  }
}

std::string FormatNumber(double value, int significant) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  if (value == 0) return "0";
  // Scientific form first: its digits are the rounded significant digits,
  // whatever the magnitude; to_chars ignores the process locale.
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                       std::chars_format::scientific, significant - 1);
  if (ec != std::errc()) return "0";
  const std::string_view sci(buffer, static_cast<size_t>(end - buffer));
  const size_t e = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e)) {
    if (c >= '0' && c <= '9') digits += c;
  }
  int exponent = 0;
  std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+' ? 1 : 0), sci.data() + sci.size(),
                  exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = value < 0 ? "-" : "";
  if (exponent < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
  } else {
    const auto integer_digits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= integer_digits) {
      out += digits;
      out.append(integer_digits - digits.size(), '0');
    } else {
      out += digits.substr(0, integer_digits);
      out += '.';
      out += digits.substr(integer_digits);
    }
  }
  return out;
}

}  // namespace tallygate
