#include "tools/tallygate/json_output.h"

#include <cmath>
#include <cstdio>

#include "tallygate/conversions.h"

namespace tallygate::cli {
namespace {

// The length of the UTF-8 sequence at `i`, or 0 when it is not a valid one
// (overlong forms, surrogates and values above U+10FFFF included).
size_t Utf8Length(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  size_t length = 0;
  uint32_t min = 0;
  uint32_t code = 0;
  if (b0 < 0x80) return 1;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, min = 0x80, code = b0 & 0x1Fu;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, min = 0x800, code = b0 & 0x0Fu;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, min = 0x10000, code = b0 & 0x07u;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string JsonString(std::string_view s) {
  std::string out = "\"";
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      const size_t length = Utf8Length(s, i);
      if (length == 0) {
        out += "\\ufffd";
        ++i;
        continue;
      }
      out.append(s.substr(i, length));
      i += length;
      continue;
    }
    ++i;
  }
  out += '"';
  return out;
}

std::string JsonValue(const Variant& value) {
  switch (value.kind()) {
    case TG_BYTE: return std::to_string(value.byte_value());
    case TG_I2: return std::to_string(value.i2());
    case TG_I4: return std::to_string(value.i4());
    case TG_R4:
    case TG_R8: {
      const double number = value.kind() == TG_R4 ? value.r4() : value.r8();
      return std::isfinite(number) ? std::string(ChangeType(value, TG_TEXT).text()) : "null";
    }
    case TG_BOOL: return value.boolean() ? "true" : "false";
    case TG_TEXT: return JsonString(value.text());
    case TG_DATE: return JsonString(ChangeType(value, TG_TEXT).text());
    case TG_ARRAY: {
      std::string out = "[";
      for (const Variant& item : value.items()) {
        if (out.size() > 1) out += ", ";
        out += JsonValue(item);
      }
      return out + "]";
    }
    default: return "null";  // empty, missing, objects
  }
}

std::string ResultLine(std::string_view name, const Variant& result,
                       const std::vector<std::unique_ptr<Variant>>& byref,
                       const std::vector<std::string>& byref_names) {
  std::string line = "{\"call\": " + JsonString(name) + ", \"result\": " + JsonValue(result) +
                     ", \"byref\": [";
  for (size_t i = 0; i < byref.size(); ++i) {
    if (i > 0) line += ", ";
    line += JsonValue(*byref[i]);
  }
  line += "]";
  if (byref_names.size() == byref.size()) {
    line += ", \"out\": {";
    for (size_t i = 0; i < byref.size(); ++i) {
      if (i > 0) line += ", ";
      line += JsonString(byref_names[i]) + ": " + JsonValue(*byref[i]);
    }
    line += "}";
  }
  return line + "}";
}

std::string ErrorLine(std::string_view name, int32_t number, std::string_view description) {
  return "{\"call\": " + JsonString(name) + ", \"error\": {\"number\": " +
         std::to_string(number) + ", \"description\": " + JsonString(description) + "}}";
}

}  // namespace tallygate::cli
