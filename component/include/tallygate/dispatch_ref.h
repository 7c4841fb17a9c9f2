// DispatchRef: a counted reference to a dispatch object, and calls by name
// through it, for C++ code on either side of the component boundary.
#ifndef TALLYGATE_DISPATCH_REF_H_
#define TALLYGATE_DISPATCH_REF_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tallygate/dispatch.h"
#include "tallygate/variant.h"

namespace tallygate {

// What one call by name gave.
struct Outcome {
  Variant result;
  int32_t number = 0;     // 0 on success, else the error number
  int32_t argument = -1;  // the argument the error is about, or -1
  std::string description;
  bool ok() const { return number == 0; }
};

class DispatchRef {
 public:
  DispatchRef() = default;
  // Takes over one reference the caller owns.
  static DispatchRef Adopt(tg_dispatch* object);
  // Adds a reference of its own.
  static DispatchRef Share(tg_dispatch* object);

  DispatchRef(const DispatchRef& other);
  DispatchRef(DispatchRef&& other) noexcept;
  DispatchRef& operator=(DispatchRef other) noexcept;
  ~DispatchRef();

  tg_dispatch* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // Calls member `name` with `flags` (TG_INVOKE_...) and `args` (Variant::Ref
  // for by-reference arguments). Never throws for the callee's errors.
  Outcome Invoke(std::string_view name, int32_t flags, const std::vector<Variant>& args = {}) const;

  // The same, throwing the callee's error as a BasicError.
  Variant Call(std::string_view name, const std::vector<Variant>& args = {}) const;
  Variant Get(std::string_view name) const;
  void Put(std::string_view name, const Variant& value) const;

 private:
  explicit DispatchRef(tg_dispatch* object) : object_(object) {}
  tg_dispatch* object_ = nullptr;
};

}  // namespace tallygate

#endif  // TALLYGATE_DISPATCH_REF_H_
