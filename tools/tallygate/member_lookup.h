// What the tool knows of a member before calling it: its row of the
// library's member table (parameter names, types, by-reference marks and
// defaults), and what a shell user sees of them.
#ifndef TALLYGATE_TOOLS_TALLYGATE_MEMBER_LOOKUP_H_
#define TALLYGATE_TOOLS_TALLYGATE_MEMBER_LOOKUP_H_

#include <string>
#include <string_view>

#include "tallygate/members.h"
#include "tools/tallygate/session.h"

namespace tallygate::cli {

// The row a call of `kind` reaches by `name` (case-insensitive), or null.
const binding::Member* FindMember(std::string_view name, CallKind kind);

// "Integer", "Boolean", "String", "array of Date", ...
std::string KindName(int32_t kind, int32_t element_kind = TG_EMPTY);

// One line describing a row:
//   GatherRecordSum(varAddr As Integer, ByRef BackRecordSum As Long, ...) As Boolean
//   Mode As Integer (get)
std::string DescribeMember(const binding::Member& member);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_MEMBER_LOOKUP_H_
