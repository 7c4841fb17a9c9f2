// The members of Connect_v70 that callers reach by name: each one's name,
// kind, parameters and result, and how to call it. What a caller by name (the
// `tallygate` command) needs to look members up and check its arguments;
// the rows themselves are written with member_table.h's helpers.
#ifndef TALLYGATE_MEMBERS_H_
#define TALLYGATE_MEMBERS_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tallygate/connect_v70.h"
#include "tallygate/variant.h"

namespace tallygate::binding {

enum class MemberKind { kMethod, kPropertyGet, kPropertyPut };

struct Parameter {
  std::string name;
  int32_t kind;                    // declared kind (TG_I2, TG_TEXT, ...)
  int32_t element_kind;            // of an array's items; TG_EMPTY otherwise
  bool by_ref;
  std::optional<Variant> fallback;  // the default of an optional parameter
};

struct Member {
  std::string name;
  MemberKind kind;
  // For a property put: one parameter, the new value.
  std::vector<Parameter> parameters;
  int32_t result_kind;  // TG_EMPTY when there is no result
  // Calls the member. `args` holds one value per parameter, each already of
  // its declared kind; by-reference ones are replaced by their final values.
  std::function<Variant(Connect_v70&, std::vector<Variant>&)> call;
};

using MemberTable = std::vector<Member>;

// The rows of Connect_v70 (connect_v70_members.cpp).
const MemberTable& Connect_v70Members();

}  // namespace tallygate::binding

#endif  // TALLYGATE_MEMBERS_H_
