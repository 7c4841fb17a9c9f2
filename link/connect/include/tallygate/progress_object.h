// The progress object a record collection reports to: any object whose
// properties "Max", "Min" and "Value" can be set by name. A host wraps its own
// progress bar in one; the call-by-name layer wraps the caller's dispatch
// object in one.
#ifndef TALLYGATE_LINK_INCLUDE_TALLYGATE_PROGRESS_OBJECT_H_
#define TALLYGATE_LINK_INCLUDE_TALLYGATE_PROGRESS_OBJECT_H_

#include <cstdint>
#include <string>

#include "tallygate/export.h"

namespace tallygate {

class TALLYGATE_EXPORT ProgressObject {
 public:
  virtual ~ProgressObject() = default;
  // Sets the numeric property `name` ("Max", "Min" or "Value"). Throws
  // BasicError when the object refuses it; the collection then fails with
  // that error's description.
  virtual void PutProperty(const std::string& name, int32_t value) = 0;
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_INCLUDE_TALLYGATE_PROGRESS_OBJECT_H_
