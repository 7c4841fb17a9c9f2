// The progress object tallygate hands to GatherData: the library's ready-made
// one (tallygate/progress.h) for the properties "Max", "Min" and "Value",
// with a method Page(page, pages, attempt, lost_pages, done) beside them, so
// that the collection reports its pages too (tallygate/progress_object.h).
#ifndef TALLYGATE_TOOLS_TALLYGATE_PROGRESS_OBJECT_H_
#define TALLYGATE_TOOLS_TALLYGATE_PROGRESS_OBJECT_H_

#include "tallygate/dispatch_ref.h"
#include "tools/tallygate/progress_view.h"

namespace tallygate::cli {

// An object whose puts and Page calls go to `view`, which must outlive it.
// Page takes five arguments that convert to Long, Long, Long, Long and
// Boolean; it is a method only. Empty when out of memory.
DispatchRef MakeProgressObject(ProgressView& view);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_PROGRESS_OBJECT_H_
