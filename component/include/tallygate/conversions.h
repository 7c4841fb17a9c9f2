// Conversions between value kinds, as a late-bound Basic caller relies on
// them: the one place where these rules live. docs/conversions.md gives them
// as a table; tests/component/conversions_test.cpp checks that table.
#ifndef TALLYGATE_CONVERSIONS_H_
#define TALLYGATE_CONVERSIONS_H_

#include <cstdint>
#include <string>

#include "tallygate/value.h"
#include "tallygate/variant.h"

namespace tallygate {

// `from` (followed when it is TG_BYREF) as a value of `kind`. For TG_ARRAY
// each item becomes `element_kind` (TG_EMPTY: items as they are). Throws
// BasicError: 13 "Type mismatch" when the value has no reading as that kind,
// 6 "Overflow" when it does not fit.
Variant ChangeType(const tg_value& from, int32_t kind, int32_t element_kind = TG_EMPTY);
inline Variant ChangeType(const Variant& from, int32_t kind, int32_t element_kind = TG_EMPTY) {
  return ChangeType(from.value(), kind, element_kind);
}

// A number as plain decimal text, no exponent, rounded to `significant`
// digits with trailing zeros dropped: 15 for doubles, 7 for singles.
std::string FormatNumber(double value, int significant);

}  // namespace tallygate

#endif  // TALLYGATE_CONVERSIONS_H_
