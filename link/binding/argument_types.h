// How the C++ types of Connect_v70's parameters and results meet the values
// of the call-by-name interface: the declared kind of each type, and how a
// value already converted to that kind is passed in and read back.
//
//   C++ parameter type                     declared kind
//   uint8_t                                Byte
//   int16_t                                Integer (16-bit)
//   int32_t                                Long (32-bit)
//   float, double                          Single, Double
//   bool                                   Boolean (-1 / 0)
//   std::string, const std::string&        String (UTF-8)
//   Date                                   Date
//   std::vector<Date>, std::vector<double> array of Date (doubles are date
//                                          serials: the typed interface's
//                                          way of holding dates)
//   ProgressObject*                        Object: the caller's dispatch
//                                          object, or null for Nothing
//
// A non-const reference (int32_t&, std::string&, ...) is a by-reference
// parameter of the referred type. A parameter type not listed here does not
// compile: add it below.
#ifndef TALLYGATE_LINK_BINDING_ARGUMENT_TYPES_H_
#define TALLYGATE_LINK_BINDING_ARGUMENT_TYPES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/binding/dispatch_progress.h"
#include "tallygate/date.h"
#include "tallygate/progress_object.h"
#include "tallygate/value.h"
#include "tallygate/variant.h"

namespace tallygate::binding {

// A value type: its kind, and its reading from and making of a Variant of
// that kind.
template <typename T>
struct ValueType;

#define TALLYGATE_SCALAR_TYPE(Type, Kind, Read)                       \
  template <>                                                         \
  struct ValueType<Type> {                                            \
    static constexpr int32_t kKind = Kind;                            \
    static constexpr int32_t kElement = TG_EMPTY;                     \
    static Type From(const Variant& v) { return Read; }               \
    static Variant To(const Type& value) { return Variant(value); }   \
  };

TALLYGATE_SCALAR_TYPE(uint8_t, TG_BYTE, v.byte_value())
TALLYGATE_SCALAR_TYPE(int16_t, TG_I2, v.i2())
TALLYGATE_SCALAR_TYPE(int32_t, TG_I4, v.i4())
TALLYGATE_SCALAR_TYPE(float, TG_R4, v.r4())
TALLYGATE_SCALAR_TYPE(double, TG_R8, v.r8())
TALLYGATE_SCALAR_TYPE(bool, TG_BOOL, v.boolean())
TALLYGATE_SCALAR_TYPE(std::string, TG_TEXT, std::string(v.text()))
TALLYGATE_SCALAR_TYPE(Date, TG_DATE, v.date())
#undef TALLYGATE_SCALAR_TYPE

template <typename Item>
struct DateArrayType {
  static constexpr int32_t kKind = TG_ARRAY;
  static constexpr int32_t kElement = TG_DATE;
  static std::vector<Item> From(const Variant& v) {
    std::vector<Item> out;
    for (const Variant& item : v.items()) {
      if constexpr (std::is_same_v<Item, Date>) {
        out.push_back(item.date());
      } else {
        out.push_back(item.date().serial);
      }
    }
    return out;
  }
  static Variant To(const std::vector<Item>& values) {
    std::vector<Variant> items;
    for (const Item& value : values) {
      if constexpr (std::is_same_v<Item, Date>) {
        items.emplace_back(value);
      } else {
        items.emplace_back(Date{value});
      }
    }
    return Variant(std::move(items));
  }
};

template <>
struct ValueType<std::vector<Date>> : DateArrayType<Date> {};
template <>
struct ValueType<std::vector<double>> : DateArrayType<double> {};

// A parameter type: its declared kind, whether it is by reference, the
// storage that lives for the call, how that storage is made from the
// converted argument, passed, and read back.
template <typename A>
struct Argument {
  using Type = ValueType<A>;
  using Storage = A;
  static constexpr bool kByRef = false;
  static Storage Load(const Variant& v) { return Type::From(v); }
  static A Pass(Storage& storage) { return storage; }
};

template <typename T>
struct Argument<const T&> : Argument<T> {
  static const T& Pass(T& storage) { return storage; }
};

template <typename T>
struct Argument<T&> : Argument<T> {
  static constexpr bool kByRef = true;
  static T& Pass(T& storage) { return storage; }
};

template <>
struct Argument<ProgressObject*> {
  struct Type {
    static constexpr int32_t kKind = TG_OBJECT;
    static constexpr int32_t kElement = TG_EMPTY;
  };
  using Storage = std::unique_ptr<DispatchProgress>;
  static constexpr bool kByRef = false;
  static Storage Load(const Variant& v) {
    return v.object() != nullptr ? std::make_unique<DispatchProgress>(v.object()) : nullptr;
  }
  static ProgressObject* Pass(Storage& storage) { return storage.get(); }
};

}  // namespace tallygate::binding

#endif  // TALLYGATE_LINK_BINDING_ARGUMENT_TYPES_H_
