#include "tallygate/variant.h"

#include <cstdlib>
#include <utility>

#include "tallygate/basic_error.h"
#include "tallygate/dispatch.h"

namespace tallygate {
namespace {

void Check(int32_t number) {
  if (number != 0) throw BasicError(number);
}

}  // namespace

Variant::Variant(uint8_t value) : Variant() {
  value_.kind = TG_BYTE;
  value_.u.byte_value = value;
}

Variant::Variant(int16_t value) : Variant() {
  value_.kind = TG_I2;
  value_.u.i2 = value;
}

Variant::Variant(int32_t value) : Variant() {
  value_.kind = TG_I4;
  value_.u.i4 = value;
}

Variant::Variant(float value) : Variant() {
  value_.kind = TG_R4;
  value_.u.r4 = value;
}

Variant::Variant(double value) : Variant() {
  value_.kind = TG_R8;
  value_.u.r8 = value;
}

Variant::Variant(bool value) : Variant() {
  value_.kind = TG_BOOL;
  value_.u.boolean = static_cast<int16_t>(value ? TG_TRUE : TG_FALSE);
}

Variant::Variant(std::string_view text) : Variant() {
  Check(tg_value_set_text(&value_, text.data(), static_cast<int32_t>(text.size())));
}

Variant::Variant(Date date) : Variant() {
  value_.kind = TG_DATE;
  value_.u.date = date.serial;
}

Variant::Variant(std::nullptr_t) : Variant() { value_.kind = TG_OBJECT; }

Variant::Variant(tg_dispatch* object) : Variant() {
  value_.kind = TG_OBJECT;
  value_.u.object = object;
  if (object != nullptr) object->vtbl->add_ref(object);
}

Variant::Variant(std::vector<Variant> items) : Variant() {
  const auto count = static_cast<int32_t>(items.size());
  tg_value* raw = nullptr;
  if (count > 0) {
    raw = static_cast<tg_value*>(std::calloc(items.size(), sizeof(tg_value)));
    if (raw == nullptr) throw BasicError(err::kOutOfMemory);
    for (size_t i = 0; i < items.size(); ++i) raw[i] = items[i].Release();
  }
  value_.kind = TG_ARRAY;
  value_.u.array.items = raw;
  value_.u.array.count = count;
}

Variant Variant::Missing() {
  Variant v;
  v.value_.kind = TG_MISSING;
  return v;
}

Variant Variant::Ref(tg_value* variable) {
  Variant v;
  v.value_.kind = TG_BYREF;
  v.value_.u.ref = variable->kind == TG_BYREF ? variable->u.ref : variable;
  return v;
}

Variant Variant::Copy(const tg_value& value) {
  Variant v;
  Check(tg_value_copy(&v.value_, &value));
  return v;
}

Variant Variant::Adopt(tg_value& value) {
  Variant v;
  v.value_ = value;
  tg_value_init(&value);
  return v;
}

Variant::Variant(const Variant& other) : Variant() { Check(tg_value_copy(&value_, &other.value_)); }

Variant::Variant(Variant&& other) noexcept : value_(other.value_) { tg_value_init(&other.value_); }

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    tg_value_clear(&value_);
    value_ = other.value_;
    tg_value_init(&other.value_);
  }
  return *this;
}

std::string_view Variant::text() const {
  if (value_.u.text.data == nullptr) return {};
  return {value_.u.text.data, static_cast<size_t>(value_.u.text.length)};
}

std::vector<Variant> Variant::items() const {
  std::vector<Variant> copies;
  copies.reserve(static_cast<size_t>(value_.u.array.count));
  for (int32_t i = 0; i < value_.u.array.count; ++i) {
    copies.push_back(Copy(value_.u.array.items[i]));
  }
  return copies;
}

tg_value Variant::Release() {
  tg_value out = value_;
  tg_value_init(&value_);
  return out;
}

}  // namespace tallygate
