#include "tools/tallygate/member_lookup.h"

#include <strings.h>

#include "tallygate/basic_error.h"
#include "tallygate/conversions.h"

namespace tallygate::cli {

const binding::Member* FindMember(std::string_view name, CallKind kind) {
  const std::string wanted(name);
  const binding::Member* property = nullptr;
  for (const binding::Member& member : binding::Connect_v70Members()) {
    if (strcasecmp(member.name.c_str(), wanted.c_str()) != 0) continue;
    switch (member.kind) {
      case binding::MemberKind::kMethod:
        if (kind == CallKind::kCall) return &member;
        break;
      case binding::MemberKind::kPropertyGet:
        if (kind != CallKind::kLet) property = &member;
        break;
      case binding::MemberKind::kPropertyPut:
        if (kind == CallKind::kLet) return &member;
        break;
    }
  }
  return property;
}

std::string KindName(int32_t kind, int32_t element_kind) {
  switch (kind) {
    case TG_BYTE: return "Byte";
    case TG_I2: return "Integer";
    case TG_I4: return "Long";
    case TG_R4: return "Single";
    case TG_R8: return "Double";
    case TG_BOOL: return "Boolean";
    case TG_TEXT: return "String";
    case TG_DATE: return "Date";
    case TG_OBJECT: return "Object";
    case TG_ARRAY: return "array of " + KindName(element_kind);
    default: return "Variant";
  }
}

namespace {

std::string DefaultText(const Variant& value) {
  if (value.kind() == TG_OBJECT) return "Nothing";
  if (value.kind() == TG_TEXT) return "\"" + std::string(value.text()) + "\"";
  try {
    return std::string(ChangeType(value, TG_TEXT).text());
  } catch (const BasicError&) {
    return "?";
  }
}

}  // namespace

std::string DescribeMember(const binding::Member& member) {
  if (member.kind != binding::MemberKind::kMethod) {
    const bool put = member.kind == binding::MemberKind::kPropertyPut;
    const int32_t kind = put ? member.parameters.at(0).kind : member.result_kind;
    return member.name + " As " + KindName(kind) + (put ? " (let)" : " (get)");
  }
  std::string line = member.name + "(";
  for (size_t i = 0; i < member.parameters.size(); ++i) {
    const binding::Parameter& p = member.parameters[i];
    if (i > 0) line += ", ";
    if (p.fallback) line += "[";
    if (p.by_ref) line += "ByRef ";
    line += p.name + " As " + KindName(p.kind, p.element_kind);
    if (p.fallback) line += " = " + DefaultText(*p.fallback) + "]";
  }
  line += ")";
  if (member.result_kind != TG_EMPTY) line += " As " + KindName(member.result_kind);
  return line;
}

}  // namespace tallygate::cli
