// Variant: a tg_value that owns what it holds, for C++ code on either side of
// the component boundary.
#ifndef TALLYGATE_VARIANT_H_
#define TALLYGATE_VARIANT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tallygate/date.h"
#include "tallygate/value.h"

namespace tallygate {

class Variant {
 public:
  Variant() { tg_value_init(&value_); }  // TG_EMPTY
  Variant(uint8_t value);
  Variant(int16_t value);
  Variant(int32_t value);
  Variant(float value);
  Variant(double value);
  Variant(bool value);  // TG_BOOL, -1 or 0
  Variant(std::string_view text);
  Variant(const char* text) : Variant(std::string_view(text)) {}
  Variant(const std::string& text) : Variant(std::string_view(text)) {}
  Variant(Date date);
  Variant(std::nullptr_t);                  // TG_OBJECT holding none
  explicit Variant(tg_dispatch* object);   // TG_OBJECT, takes a new reference
  explicit Variant(std::vector<Variant> items);  // TG_ARRAY

  static Variant Missing();
  // A TG_BYREF to `variable`, which must outlive this value.
  static Variant Ref(tg_value* variable);
  static Variant Ref(Variant& variable) { return Ref(variable.get()); }
  // A deep copy of a C value.
  static Variant Copy(const tg_value& value);
  // Takes over what `value` owns and leaves it empty.
  static Variant Adopt(tg_value& value);

  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant() { tg_value_clear(&value_); }

  int32_t kind() const { return value_.kind; }
  bool is_empty() const { return value_.kind == TG_EMPTY; }
  bool is_missing() const { return value_.kind == TG_MISSING; }

  // The value itself; accessors expect the kind they name.
  uint8_t byte_value() const { return value_.u.byte_value; }
  int16_t i2() const { return value_.u.i2; }
  int32_t i4() const { return value_.u.i4; }
  float r4() const { return value_.u.r4; }
  double r8() const { return value_.u.r8; }
  bool boolean() const { return value_.u.boolean != 0; }
  Date date() const { return Date{value_.u.date}; }
  std::string_view text() const;
  tg_dispatch* object() const { return value_.u.object; }
  // Copies of an array's items.
  std::vector<Variant> items() const;
  tg_value* ref() const { return value_.u.ref; }

  const tg_value& value() const { return value_; }
  tg_value* get() { return &value_; }
  // Hands what this value owns to a C caller and leaves it empty.
  tg_value Release();

 private:
  tg_value value_;
};

}  // namespace tallygate

#endif  // TALLYGATE_VARIANT_H_
