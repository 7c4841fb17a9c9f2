#include "tools/tallygate/json_output.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "tallygate/conversions.h"

namespace tallygate::cli {

std::string JsonString(std::string_view s) {
  return nlohmann::json(std::string(s))
      .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
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
