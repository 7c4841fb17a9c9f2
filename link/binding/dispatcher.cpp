#include "link/binding/dispatcher.h"

#include <vector>

#include "tallygate/ascii_text.h"
#include "tallygate/basic_error.h"
#include "tallygate/conversions.h"
#include "tallygate/error_passing.h"

namespace tallygate::binding {
namespace {

// A failure that concerns one argument.
struct ArgumentError {
  BasicError error;
  int32_t position;
};

const tg_value* Target(const tg_value& arg) { return arg.kind == TG_BYREF ? arg.u.ref : &arg; }

std::vector<Variant> ConvertArguments(const Member& member, const tg_value* args,
                                      int32_t arg_count) {
  const std::vector<Parameter>& parameters = member.parameters;
  if (arg_count > 0 && args == nullptr) throw BasicError(err::kInvalidProcedureCall);
  if (arg_count < 0 || static_cast<size_t>(arg_count) > parameters.size() ||
      (member.kind == MemberKind::kPropertyPut && arg_count != 1)) {
    throw BasicError(err::kWrongNumberOfArguments);
  }
  std::vector<Variant> values;
  values.reserve(parameters.size());
  for (size_t i = 0; i < parameters.size(); ++i) {
    const Parameter& parameter = parameters[i];
    const auto position = static_cast<int32_t>(i);
    const tg_value* given = position < arg_count ? Target(args[i]) : nullptr;
    if (position < arg_count && given == nullptr) {
      throw ArgumentError{BasicError(err::kInvalidProcedureCall), position};  // a null reference
    }
    if (given == nullptr || given->kind == TG_MISSING) {
      if (!parameter.fallback) {
        if (given == nullptr) throw BasicError(err::kWrongNumberOfArguments);
        throw ArgumentError{BasicError(err::kArgumentNotOptional), position};
      }
      values.push_back(ChangeType(*parameter.fallback, parameter.kind, parameter.element_kind));
      continue;
    }
    try {
      values.push_back(ChangeType(*given, parameter.kind, parameter.element_kind));
    } catch (const BasicError& error) {
      throw ArgumentError{error, position};
    }
  }
  return values;
}

void WriteBack(const Member& member, const tg_value* args, int32_t arg_count,
               std::vector<Variant>& values) {
  for (int32_t i = 0; i < arg_count; ++i) {
    if (args[i].kind != TG_BYREF || !member.parameters[static_cast<size_t>(i)].by_ref) continue;
    tg_value* variable = args[i].u.ref;
    tg_value_clear(variable);
    *variable = values[static_cast<size_t>(i)].Release();
  }
}

}  // namespace

const Member* FindMember(const MemberTable& table, const char* name, int32_t flags) {
  if (name == nullptr) return nullptr;
  const Member* found[3] = {nullptr, nullptr, nullptr};
  for (const Member& member : table) {
    if (EqualsIgnoringCase(member.name, name)) found[static_cast<int>(member.kind)] = &member;
  }
  if ((flags & TG_INVOKE_METHOD) != 0 && found[0] != nullptr) return found[0];
  if ((flags & TG_INVOKE_PROPERTY_GET) != 0 && found[1] != nullptr) return found[1];
  if ((flags & TG_INVOKE_PROPERTY_PUT) != 0 && found[2] != nullptr) return found[2];
  return nullptr;
}

int32_t Invoke(const MemberTable& table, Connect_v70& object, const char* name, int32_t flags,
               const tg_value* args, int32_t arg_count, tg_value* result,
               tg_error* error) noexcept {
  if (result != nullptr) tg_value_init(result);
  Variant value;
  int32_t position = -1;
  const int32_t number = Guarded(error, [&] {
    const Member* member = FindMember(table, name, flags);
    if (member == nullptr) throw BasicError(err::kNotAnObjectProperty);
    std::vector<Variant> values;
    try {
      values = ConvertArguments(*member, args, arg_count);
    } catch (const ArgumentError& failure) {
      position = failure.position;
      throw failure.error;
    }
    value = member->call(object, values);
    WriteBack(*member, args, arg_count, values);
  });
  if (number != 0) {
    if (error != nullptr) error->argument = position;
    return number;
  }
  if (result != nullptr) *result = value.Release();
  return 0;
}

}  // namespace tallygate::binding
