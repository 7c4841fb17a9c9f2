#include "collector/web/holder_input.h"

#include "collector/cards/holder_check.h"
#include "collector/cards/holder_csv.h"
#include "collector/base/field_text.h"
#include "collector/base/value_text.h"
#include "collector/web/search_query.h"

namespace tallygate::collector::web {
namespace {

constexpr const char* kFields[] = {"card", "staff", "name", "terminals", "valid_from", "valid_until"};

std::string* FieldOf(HolderFields& fields, std::string_view name) {
  std::string* const slots[] = {&fields.card,      &fields.staff,      &fields.name,
                                &fields.terminals, &fields.valid_from, &fields.valid_until};
  for (size_t i = 0; i < std::size(kFields); ++i) {
    if (name == kFields[i]) return slots[i];
  }
  return nullptr;
}

// A JSON value as the text of `field`: a string, a whole number where
// numbers are written (card, staff), a list of names (terminals), null.
std::string TextOf(const nlohmann::json& value, const std::string& field) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_null()) return {};
  if (value.is_number_unsigned() && (field == "card" || field == "staff")) {
    return std::to_string(value.get<uint64_t>());
  }
  if (value.is_array() && field == "terminals") {
    std::string text;
    for (const nlohmann::json& name : value) {
      if (!name.is_string()) throw BadField(field, Msg::kFieldProblem, "names are strings");
      text += (text.empty() ? "" : ";") + name.get<std::string>();
    }
    return text;
  }
  throw BadField(field, Msg::kFieldProblem, std::string("not a ") + value.type_name() + " here");
}

std::optional<LocalDay> DayOf(const std::string& text, const char* field) {
  if (text.empty()) return std::nullopt;
  std::optional<LocalDay> day = ParseDay(text);
  if (!day) throw BadField(field, Msg::kBadDate, text);
  return day;
}

}  // namespace

HolderFields HolderFieldsOf(const nlohmann::json& object) {
  if (!object.is_object()) throw BadField("body", Msg::kFieldProblem, "not a JSON object");
  HolderFields fields;
  for (const auto& [key, value] : object.items()) {
    std::string* slot = FieldOf(fields, key);
    if (slot == nullptr) throw BadField(key, Msg::kFieldProblem, "not a field of a cardholder");
    *slot = TextOf(value, key);
  }
  return fields;
}

HolderFields HolderFieldsOf(const httplib::Request& request) {
  HolderFields fields;
  for (const char* name : kFields) *FieldOf(fields, name) = request.get_param_value(name);
  return fields;
}

uint32_t CardOfField(const std::string& text, const char* field) {
  try {
    return ParseKeptCard(text);
  } catch (const InputError&) {
    throw BadField(field, Msg::kBadCard, text);
  }
}

Cardholder HolderOf(const HolderFields& given, std::span<const CardTerminal> terminals) {
  HolderFields fields = given;
  for (const char* name : kFields) {
    std::string& field = *FieldOf(fields, name);
    field = TrimmedField(field);
  }
  // Told before HolderFieldProblems does, in the reader's language.
  for (const char* name : {"staff", "name"}) {
    const std::string code = ControlCharacterIn(*FieldOf(fields, name));
    if (!code.empty()) throw BadField(name, Msg::kControlCharacter, code);
  }
  Cardholder holder;
  holder.card = CardOfField(fields.card, "card");
  holder.staff = fields.staff;
  holder.name = fields.name;
  holder.where = SplitNames(fields.terminals);
  holder.valid_from = DayOf(fields.valid_from, "valid_from");
  holder.valid_until = DayOf(fields.valid_until, "valid_until");
  const std::vector<HolderProblem> problems = HolderFieldProblems(holder, terminals);
  if (!problems.empty()) throw BadField(problems[0].field, Msg::kFieldProblem, problems[0].what);
  return holder;
}

}  // namespace tallygate::collector::web
