#include "tools/tallygate/json_output.h"

#include <charconv>
#include <cmath>

#include "tallygate/conversions.h"

namespace tallygate::cli {
namespace {

void Append(std::string& line, const Json& value) {
  switch (value.type()) {
    case Json::value_t::object: {
      line += '{';
      bool first = true;
      for (const auto& [key, item] : value.items()) {
        if (!first) line += ", ";
        first = false;
        Append(line, Json(key));
        line += ": ";
        Append(line, item);
      }
      line += '}';
      break;
    }
    case Json::value_t::array: {
      line += '[';
      for (size_t i = 0; i < value.size(); ++i) {
        if (i > 0) line += ", ";
        Append(line, value[i]);
      }
      line += ']';
      break;
    }
    case Json::value_t::number_float:
      // Finite by construction (JsonOf); spelt as the conversions spell it.
      line += ChangeType(Variant(value.get<double>()), TG_TEXT).text();
      break;
    default:
      line += value.dump(-1, ' ', false, Json::error_handler_t::replace);
  }
}

// A Single as the double its text stands for, so that it is spelt as the
// Single is ("0.1", not the digits of its binary widening).
double SingleAsWritten(const Variant& value) {
  const std::string text(ChangeType(value, TG_TEXT).text());
  double number = value.r4();
  std::from_chars(text.data(), text.data() + text.size(), number);
  return number;
}

}  // namespace

std::string JsonLine(const Json& value) {
  std::string line;
  Append(line, value);
  return line;
}

Json JsonOf(const Variant& value) {
  switch (value.kind()) {
    case TG_BYTE: return value.byte_value();
    case TG_I2: return value.i2();
    case TG_I4: return value.i4();
    case TG_R4:
      if (!std::isfinite(value.r4())) return nullptr;
      return SingleAsWritten(value);
    case TG_R8:
      if (!std::isfinite(value.r8())) return nullptr;
      return value.r8();
    case TG_BOOL: return value.boolean();
    case TG_TEXT: return std::string(value.text());
    case TG_DATE: return std::string(ChangeType(value, TG_TEXT).text());
    case TG_ARRAY: {
      Json items = Json::array();
      for (const Variant& item : value.items()) items.push_back(JsonOf(item));
      return items;
    }
    default: return nullptr;  // empty, missing, objects
  }
}

Json ResultJson(std::string_view name, const Variant& result,
                const std::vector<std::unique_ptr<Variant>>& byref,
                const std::vector<std::string>& byref_names) {
  Json line;
  line["call"] = std::string(name);
  line["result"] = JsonOf(result);
  line["byref"] = Json::array();
  for (const auto& value : byref) line["byref"].push_back(JsonOf(*value));
  if (byref_names.size() == byref.size()) {
    line["out"] = Json::object();
    for (size_t i = 0; i < byref.size(); ++i) line["out"][byref_names[i]] = JsonOf(*byref[i]);
  }
  return line;
}

Json ErrorJson(std::string_view name, int32_t number, std::string_view description) {
  Json line;
  line["call"] = std::string(name);
  line["error"] = {{"number", number}, {"description", std::string(description)}};
  return line;
}

std::string JsonString(std::string_view utf8) { return JsonLine(Json(std::string(utf8))); }

std::string JsonValue(const Variant& value) { return JsonLine(JsonOf(value)); }

std::string ResultLine(std::string_view name, const Variant& result,
                       const std::vector<std::unique_ptr<Variant>>& byref,
                       const std::vector<std::string>& byref_names) {
  return JsonLine(ResultJson(name, result, byref, byref_names));
}

std::string ErrorLine(std::string_view name, int32_t number, std::string_view description) {
  return JsonLine(ErrorJson(name, number, description));
}

}  // namespace tallygate::cli
