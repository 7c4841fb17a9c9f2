// The progress object a collection reports to, when the caller passed a
// dispatch object: each PutProperty is a property put by name on it, and
// each Page a call of its method "Page" when it has one.
#ifndef TALLYGATE_LINK_BINDING_DISPATCH_PROGRESS_H_
#define TALLYGATE_LINK_BINDING_DISPATCH_PROGRESS_H_

#include <optional>
#include <string>
#include <vector>

#include "tallygate/basic_error.h"
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

  // Calls Page(page, pages, attempt, lost_pages, done) on an object that has
  // that method; an object without it is never asked again. Throws the
  // object's error as a BasicError.
  void Page(int32_t page, int32_t pages, int32_t attempt, int32_t lost_pages,
            bool done) override {
    if (!has_page_) has_page_ = HasPageMethod();
    if (!*has_page_) return;
    object_.Call("Page", {Variant(page), Variant(pages), Variant(attempt), Variant(lost_pages),
                          Variant(done)});
  }

 private:
  // The interface has no look-up of names, so the name is asked for with one
  // argument more than Page takes: an object refuses that before running
  // anything, with 438 when it has no member of that name and with another
  // error (450) when it has. Nothing is raised either way.
  bool HasPageMethod() const {
    const std::vector<Variant> too_many(6);
    return object_.Invoke("Page", TG_INVOKE_METHOD, too_many).number != err::kNotAnObjectProperty;
  }

  DispatchRef object_;
  std::optional<bool> has_page_;  // found out at the first page
};

}  // namespace tallygate::binding

#endif  // TALLYGATE_LINK_BINDING_DISPATCH_PROGRESS_H_
