// The member table: what the call-by-name interface knows of Connect_v70's
// members, one row per member (two for a property that can be read and
// written).
//
// Rows are written in connect_v70_members.cpp with three helpers:
//
//   Method("SetStorageModel", &Connect_v70::SetStorageModel,
//          {Arg("varAddr"), Arg("intMode", 1)}),
//   Get<int16_t>("Mode", &Connect_v70::Mode),
//   Put<int16_t>("Mode", &Connect_v70::Mode),
//
// - The name is the one callers use (compared case-insensitively).
// - The member function gives the parameters' declared types, which of them
//   are by reference (non-const references), and the result's type (see
//   argument_types.h for the types allowed).
// - Method takes one Arg per parameter, in order (a different count does not
//   compile): Arg(name) for a required parameter, Arg(name, default) for an
//   optional one. The default is converted to the declared type like any
//   argument; Arg(name, nullptr) is an object parameter whose default is
//   Nothing. Write the same defaults as the typed interface.
// - Get and Put name the property's type, since their getter and setter
//   share one name.
#ifndef TALLYGATE_LINK_BINDING_MEMBER_TABLE_H_
#define TALLYGATE_LINK_BINDING_MEMBER_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "link/binding/argument_types.h"
#include "tallygate/members.h"
#include "tallygate/connect_v70.h"
#include "tallygate/variant.h"

namespace tallygate::binding {

// A parameter as a row names it.
struct Arg {
  Arg(std::string_view param_name) : name(param_name) {}
  template <typename T>
  Arg(std::string_view param_name, T default_value) : name(param_name), fallback(default_value) {}

  std::string_view name;
  std::optional<Variant> fallback;  // present for an optional parameter
};

namespace detail {

template <typename A>
Parameter MakeParameter(const Arg& arg) {
  using Traits = Argument<A>;
  return Parameter{std::string(arg.name), Traits::Type::kKind, Traits::Type::kElement,
                   Traits::kByRef, arg.fallback};
}

template <typename R>
constexpr int32_t ResultKind() {
  if constexpr (std::is_void_v<R>) {
    return TG_EMPTY;
  } else {
    return ValueType<R>::kKind;
  }
}

template <typename A>
void WriteBack(Variant& arg, const typename Argument<A>::Storage& storage) {
  if constexpr (Argument<A>::kByRef) arg = Argument<A>::Type::To(storage);
}

template <typename R, typename... A, typename Fn, size_t... I>
Variant CallWith(Connect_v70& object, Fn fn, [[maybe_unused]] std::vector<Variant>& args,
                 std::index_sequence<I...>) {
  // Braced initialisation loads the arguments left to right.
  std::tuple<typename Argument<A>::Storage...> storage{Argument<A>::Load(args[I])...};
  Variant result;
  if constexpr (std::is_void_v<R>) {
    (object.*fn)(Argument<A>::Pass(std::get<I>(storage))...);
  } else {
    result = ValueType<std::decay_t<R>>::To((object.*fn)(Argument<A>::Pass(std::get<I>(storage))...));
  }
  (WriteBack<A>(args[I], std::get<I>(storage)), ...);
  return result;
}

template <typename R, typename... A, typename Fn, size_t N>
Member MakeMethod(std::string_view name, Fn fn, const Arg (&args)[N]) {
  static_assert(sizeof...(A) == N, "a method row needs one Arg per parameter");
  std::vector<Parameter> parameters;
  size_t i = 0;
  (parameters.push_back(MakeParameter<A>(args[i++])), ...);
  return Member{std::string(name), MemberKind::kMethod, std::move(parameters), ResultKind<R>(),
                [fn](Connect_v70& object, std::vector<Variant>& values) {
                  return CallWith<R, A...>(object, fn, values, std::index_sequence_for<A...>{});
                }};
}

}  // namespace detail

template <typename R, typename... A, size_t N>
Member Method(std::string_view name, R (Connect_v70::*fn)(A...), const Arg (&args)[N]) {
  return detail::MakeMethod<R, A...>(name, fn, args);
}

template <typename R, typename... A, size_t N>
Member Method(std::string_view name, R (Connect_v70::*fn)(A...) const, const Arg (&args)[N]) {
  return detail::MakeMethod<R, A...>(name, fn, args);
}

// A method without parameters.
template <typename R>
Member Method(std::string_view name, R (Connect_v70::*fn)()) {
  return Member{std::string(name), MemberKind::kMethod, {}, detail::ResultKind<R>(),
                [fn](Connect_v70& object, std::vector<Variant>& values) {
                  return detail::CallWith<R>(object, fn, values, std::index_sequence<>{});
                }};
}

template <typename T>
Member Get(std::string_view name, T (Connect_v70::*getter)() const) {
  return Member{std::string(name), MemberKind::kPropertyGet, {}, ValueType<T>::kKind,
                [getter](Connect_v70& object, std::vector<Variant>&) {
                  return ValueType<T>::To((object.*getter)());
                }};
}

template <typename T>
Member Get(std::string_view name, T (Connect_v70::*getter)()) {
  return Member{std::string(name), MemberKind::kPropertyGet, {}, ValueType<T>::kKind,
                [getter](Connect_v70& object, std::vector<Variant>&) {
                  return ValueType<T>::To((object.*getter)());
                }};
}

template <typename T>
Member Put(std::string_view name, void (Connect_v70::*setter)(T)) {
  return Member{std::string(name), MemberKind::kPropertyPut,
                {detail::MakeParameter<T>(Arg("value"))}, TG_EMPTY,
                [setter](Connect_v70& object, std::vector<Variant>& values) {
                  (object.*setter)(ValueType<T>::From(values.at(0)));
                  return Variant();
                }};
}

template <typename T>
Member Put(std::string_view name, void (Connect_v70::*setter)(const T&)) {
  return Member{std::string(name), MemberKind::kPropertyPut,
                {detail::MakeParameter<T>(Arg("value"))}, TG_EMPTY,
                [setter](Connect_v70& object, std::vector<Variant>& values) {
                  (object.*setter)(ValueType<T>::From(values.at(0)));
                  return Variant();
                }};
}

}  // namespace tallygate::binding

#endif  // TALLYGATE_LINK_BINDING_MEMBER_TABLE_H_
