// The progress object a collection reports to, when the caller passed a
// dispatch object: each PutProperty is a property put by name on it.
#ifndef TALLYGATE_LINK_BINDING_DISPATCH_PROGRESS_H_
#define TALLYGATE_LINK_BINDING_DISPATCH_PROGRESS_H_

#include <string>

#include "tallygate/dispatch_ref.h"
#include "tallygate/progress_object.h"

namespace tallygate::binding {

class DispatchProgress final : public ProgressObject {
 public:
  // Holds a reference to `object` for its lifetime.
  explicit DispatchProgress(tg_dispatch* object) : object_(DispatchRef::Share(object)) {}

  // Throws the object's error as a BasicError.
  void PutProperty(const std::string& name, int32_t value) override {
    object_.Put(name, Variant(value));
  }

 private:
  DispatchRef object_;
};

}  // namespace tallygate::binding

#endif  // TALLYGATE_LINK_BINDING_DISPATCH_PROGRESS_H_
