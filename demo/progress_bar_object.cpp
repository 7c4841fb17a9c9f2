#include "demo/progress_bar_object.h"

#include <QPointer>
#include <QProgressBar>

#include <algorithm>
#include <cstring>
#include <limits>

#include "tallygate/progress.h"

namespace tallydemo {
namespace {

int ClampToInt(double value) {
  return static_cast<int>(std::clamp<double>(value, std::numeric_limits<int>::min(),
                                             std::numeric_limits<int>::max()));
}

void Set(void* context, const char* property, double value) {
  QProgressBar* bar = *static_cast<QPointer<QProgressBar>*>(context);
  if (bar == nullptr) return;
  if (std::strcmp(property, "Max") == 0) {
    bar->setMaximum(ClampToInt(value));
  } else if (std::strcmp(property, "Min") == 0) {
    bar->setMinimum(ClampToInt(value));
  } else if (std::strcmp(property, "Value") == 0) {
    bar->setValue(ClampToInt(value));
  }
}

void Destroy(void* context) { delete static_cast<QPointer<QProgressBar>*>(context); }

}  // namespace

tallygate::DispatchRef MakeProgressBarObject(QProgressBar* bar) {
  auto* guarded = new QPointer<QProgressBar>(bar);
  const tg_progress_sink sink{guarded, Set, Destroy};
  tg_dispatch* object = tg_progress_object_create(&sink);
  if (object == nullptr) {
    delete guarded;
    return {};
  }
  return tallygate::DispatchRef::Adopt(object);
}

}  // namespace tallydemo
