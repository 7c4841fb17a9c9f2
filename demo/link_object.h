// The window's link object: the Connect_v70 object created by its
// programmatic identifier, called by name with Qt texts.
#ifndef TALLYGATE_DEMO_LINK_OBJECT_H_
#define TALLYGATE_DEMO_LINK_OBJECT_H_

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "tallygate/dispatch_ref.h"
#include "tallygate/variant.h"

namespace tallydemo {

using tallygate::Outcome;
using tallygate::Variant;

// A text argument, passed as the field holds it.
Variant Text(const QString& text);
// What a text result or by-reference text variable holds (empty for others).
QString TextOf(const Variant& value);
// A numeric or Boolean result or variable as a number; nothing for a value
// that is not one.
std::optional<int32_t> NumberOf(const Variant& value);
// Whether a call ran and returned Boolean true.
bool IsTrue(const Outcome& outcome);

class LinkObject {
 public:
  LinkObject() = default;
  explicit LinkObject(tallygate::DispatchRef object) : object_(std::move(object)) {}

  // Creates "TALLYGATE_v70.Connect_v70" through the registration store. On
  // failure the object is empty and `problem` says why.
  static LinkObject Create(QString* problem);

  explicit operator bool() const { return static_cast<bool>(object_); }
  const tallygate::DispatchRef& dispatch() const { return object_; }

  // A method, or else a property read, as `object.Name(args)` is.
  Outcome Call(const char* name, const std::vector<Variant>& args = {}) const;
  // A method returning Boolean: true only when it ran and returned true.
  bool CallBool(const char* name, const std::vector<Variant>& args = {}) const;
  Outcome Put(const char* name, const Variant& value) const;

  // Gives the object back; the library closes its serial port.
  void Release() { object_ = {}; }

 private:
  tallygate::DispatchRef object_;
};

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_LINK_OBJECT_H_
