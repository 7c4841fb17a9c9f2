#include "tallygate/dispatch_ref.h"

#include <utility>

#include "tallygate/basic_error.h"
#include "tallygate/error_passing.h"

namespace tallygate {

DispatchRef DispatchRef::Adopt(tg_dispatch* object) { return DispatchRef(object); }

DispatchRef DispatchRef::Share(tg_dispatch* object) {
  if (object != nullptr) object->vtbl->add_ref(object);
  return DispatchRef(object);
}

DispatchRef::DispatchRef(const DispatchRef& other) : object_(other.object_) {
  if (object_ != nullptr) object_->vtbl->add_ref(object_);
}

DispatchRef::DispatchRef(DispatchRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}

DispatchRef& DispatchRef::operator=(DispatchRef other) noexcept {
  std::swap(object_, other.object_);
  return *this;
}

DispatchRef::~DispatchRef() {
  if (object_ != nullptr) object_->vtbl->release(object_);
}

Outcome DispatchRef::Invoke(std::string_view name, int32_t flags,
                            const std::vector<Variant>& args) const {
  Outcome outcome;
  if (object_ == nullptr) {
    outcome.number = err::kObjectRequired;
    outcome.description = StandardDescription(err::kObjectRequired);
    return outcome;
  }
  // The callee only reads the arguments, so plain copies of the C values do.
  std::vector<tg_value> raw;
  raw.reserve(args.size());
  for (const Variant& arg : args) raw.push_back(arg.value());
  tg_value result;
  tg_value_init(&result);
  tg_error error{};
  const std::string member(name);
  outcome.number = object_->vtbl->invoke(object_, member.c_str(), flags, raw.data(),
                                         static_cast<int32_t>(raw.size()), &result, &error);
  outcome.result = Variant::Adopt(result);
  if (outcome.number != 0) {
    outcome.argument = error.argument;
    outcome.description = error.description != nullptr
                              ? std::string(error.description)
                              : std::string(StandardDescription(outcome.number));
  }
  tg_error_clear(&error);
  return outcome;
}

namespace {

Variant ResultOrThrow(Outcome outcome) {
  if (!outcome.ok()) throw BasicError(outcome.number, std::move(outcome.description));
  return std::move(outcome.result);
}

}  // namespace

Variant DispatchRef::Call(std::string_view name, const std::vector<Variant>& args) const {
  return ResultOrThrow(Invoke(name, TG_INVOKE_METHOD, args));
}

Variant DispatchRef::Get(std::string_view name) const {
  return ResultOrThrow(Invoke(name, TG_INVOKE_PROPERTY_GET));
}

void DispatchRef::Put(std::string_view name, const Variant& value) const {
  ResultOrThrow(Invoke(name, TG_INVOKE_PROPERTY_PUT, {value}));
}

}  // namespace tallygate
