// Calls by name on a Connect_v70 object through its member table, with the
// contract of tg_dispatch_vtbl::invoke (tallygate/dispatch.h):
//
// - The member is found by name, case-insensitively, and by what the caller
//   asks for: a method, a property read, or a property write. Method and
//   read together find a method first. None: 438.
// - More arguments than parameters: 450. A required parameter left off the
//   end: 450; given as TG_MISSING: 449. An optional one left off or missing
//   takes its default.
// - Each argument (a by-reference one: the variable it points at) is
//   converted to the parameter's declared kind (tallygate/conversions.h);
//   one that does not convert fails the call with 13 or 6, naming its
//   position, before the member runs.
// - After the member returns, each by-reference parameter given a TG_BYREF
//   argument writes its final value, of the declared kind, into the
//   caller's variable. A by-reference parameter given a plain value works on
//   a copy; a by-value parameter never writes back. When the member fails,
//   nothing is written back.
// - A BasicError thrown by the member is the call's error; any other
//   exception becomes 7 (out of memory) or 5. Nothing is thrown.
#ifndef TALLYGATE_LINK_BINDING_DISPATCHER_H_
#define TALLYGATE_LINK_BINDING_DISPATCHER_H_

#include <cstdint>

#include "link/binding/member_table.h"
#include "tallygate/dispatch.h"

namespace tallygate::binding {

// The row `name` answers to for `flags`, or null.
const Member* FindMember(const MemberTable& table, const char* name, int32_t flags);

int32_t Invoke(const MemberTable& table, Connect_v70& object, const char* name, int32_t flags,
               const tg_value* args, int32_t arg_count, tg_value* result,
               tg_error* error) noexcept;

}  // namespace tallygate::binding

#endif  // TALLYGATE_LINK_BINDING_DISPATCHER_H_
