#include "tools/tallygate/progress_object.h"

#include <atomic>
#include <new>
#include <type_traits>

#include "tallygate/ascii_text.h"
#include "tallygate/basic_error.h"
#include "tallygate/conversions.h"
#include "tallygate/error_passing.h"
#include "tallygate/progress.h"

namespace tallygate::cli {
namespace {

constexpr int32_t kPageArguments = 5;

struct PagedProgress {
  tg_dispatch base;  // first, so that the object is its dispatch pointer
  std::atomic<uint32_t> references{1};
  tg_dispatch* properties = nullptr;  // Max, Min and Value
  ProgressView* view = nullptr;
};

static_assert(std::is_standard_layout_v<PagedProgress>);

PagedProgress* Self(tg_dispatch* self) { return reinterpret_cast<PagedProgress*>(self); }

uint32_t AddRef(tg_dispatch* self) { return ++Self(self)->references; }

uint32_t Release(tg_dispatch* self) {
  PagedProgress* object = Self(self);
  const uint32_t left = --object->references;
  if (left == 0) {
    object->properties->vtbl->release(object->properties);
    delete object;
  }
  return left;
}

void CallPage(ProgressView& view, int32_t flags, const tg_value* args, int32_t arg_count) {
  if ((flags & TG_INVOKE_METHOD) == 0) throw BasicError(err::kNotAnObjectProperty);
  if (arg_count != kPageArguments) throw BasicError(err::kWrongNumberOfArguments);
  if (args == nullptr) throw BasicError(err::kInvalidProcedureCall);
  int32_t numbers[kPageArguments - 1];
  for (int32_t i = 0; i + 1 < kPageArguments; ++i) numbers[i] = ChangeType(args[i], TG_I4).i4();
  const bool done = ChangeType(args[kPageArguments - 1], TG_BOOL).boolean();
  view.Page(numbers[0], numbers[1], numbers[2], numbers[3], done);
}

int32_t Invoke(tg_dispatch* self, const char* name, int32_t flags, const tg_value* args,
               int32_t arg_count, tg_value* result, tg_error* error) {
  PagedProgress* object = Self(self);
  if (name == nullptr || !EqualsIgnoringCase(name, "Page")) {
    return object->properties->vtbl->invoke(object->properties, name, flags, args, arg_count,
                                            result, error);
  }
  if (result != nullptr) tg_value_init(result);
  return Guarded(error, [&] { CallPage(*object->view, flags, args, arg_count); });
}

const tg_dispatch_vtbl kVtbl = {AddRef, Release, Invoke};

}  // namespace

DispatchRef MakeProgressObject(ProgressView& view) {
  tg_progress_sink sink{};
  sink.context = &view;
  sink.set = [](void* context, const char* property, double value) {
    static_cast<ProgressView*>(context)->Put(property, value);
  };
  tg_dispatch* properties = tg_progress_object_create(&sink);
  if (properties == nullptr) return {};
  auto* object = new (std::nothrow) PagedProgress{};
  if (object == nullptr) {
    properties->vtbl->release(properties);
    return {};
  }
  object->base.vtbl = &kVtbl;
  object->properties = properties;
  object->view = &view;
  return DispatchRef::Adopt(&object->base);
}

}  // namespace tallygate::cli
