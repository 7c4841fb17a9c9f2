// The progress object a record collection reports to: any object whose
// properties "Max", "Min" and "Value" can be set by name, and which may also
// follow the pages of the collection (Page). A host wraps its own progress
// bar in one; the call-by-name layer wraps the caller's dispatch object in
// one.
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

  // Called as each attempt at a page begins (`done` false) and once when the
  // page is done (`done` true), after the Value puts of its records. `page`
  // runs from 1 to `pages`; `attempt` counts the requests for this page so
  // far (above 1: the page is being tried again); `lost_pages` counts the
  // pages done so far that still lack records. Does nothing unless
  // overridden, so an object that only has the three properties sees only
  // them. Throws BasicError like PutProperty, with the same effect.
  virtual void Page(int32_t /*page*/, int32_t /*pages*/, int32_t /*attempt*/,
                    int32_t /*lost_pages*/, bool /*done*/) {}
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_INCLUDE_TALLYGATE_PROGRESS_OBJECT_H_
