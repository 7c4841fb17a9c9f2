// What a record collection's progress is shown on: the puts of "Max", "Min"
// and "Value" and the Page calls GatherData makes on its progress object
// (tallygate/progress_object.h), reaching the tool through the object
// progress_object.h makes.
#ifndef TALLYGATE_TOOLS_TALLYGATE_PROGRESS_VIEW_H_
#define TALLYGATE_TOOLS_TALLYGATE_PROGRESS_VIEW_H_

#include <cstdint>
#include <string_view>

namespace tallygate::cli {

class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // A put of "Max", "Min" or "Value"; other names are ignored.
  virtual void Put(std::string_view property, double value) = 0;
  // An attempt at a page begins (`done` false), or the page is done.
  virtual void Page(int32_t page, int32_t pages, int32_t attempt, int32_t lost_pages,
                    bool done) = 0;
  // The collection is over.
  virtual void Finish() = 0;
};

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_PROGRESS_VIEW_H_
