// A QProgressBar as the dispatch object a record collection reports to: its
// "Max", "Min" and "Value" puts set the bar's maximum, minimum and value.
#ifndef TALLYGATE_DEMO_PROGRESS_BAR_OBJECT_H_
#define TALLYGATE_DEMO_PROGRESS_BAR_OBJECT_H_

#include "tallygate/dispatch_ref.h"

class QProgressBar;

namespace tallydemo {

// The object holds only a guarded pointer to `bar`: puts after the bar is
// gone do nothing. Empty when out of memory.
tallygate::DispatchRef MakeProgressBarObject(QProgressBar* bar);

}  // namespace tallydemo

#endif  // TALLYGATE_DEMO_PROGRESS_BAR_OBJECT_H_
