// tg_progress_object_create: a host's progress widget as a dispatch object.
#include "tallygate/progress.h"

#include <atomic>
#include <new>
#include <type_traits>

#include "tallygate/ascii_text.h"
#include "tallygate/basic_error.h"
#include "tallygate/conversions.h"
#include "tallygate/error_passing.h"

namespace tallygate {
namespace {

constexpr const char* kProperties[] = {"Max", "Min", "Value"};

struct ProgressDispatch {
  tg_dispatch base;  // first, so that the object is its dispatch pointer
  std::atomic<uint32_t> references{1};
  tg_progress_sink sink;
  double values[3] = {0, 0, 0};
};

static_assert(std::is_standard_layout_v<ProgressDispatch>);

ProgressDispatch* Self(tg_dispatch* self) { return reinterpret_cast<ProgressDispatch*>(self); }

uint32_t AddRef(tg_dispatch* self) { return ++Self(self)->references; }

uint32_t Release(tg_dispatch* self) {
  ProgressDispatch* object = Self(self);
  const uint32_t left = --object->references;
  if (left == 0) {
    if (object->sink.destroy != nullptr) object->sink.destroy(object->sink.context);
    delete object;
  }
  return left;
}

int32_t Invoke(tg_dispatch* self, const char* name, int32_t flags, const tg_value* args,
               int32_t arg_count, tg_value* result, tg_error* error) {
  if (result != nullptr) tg_value_init(result);
  ProgressDispatch* object = Self(self);
  return Guarded(error, [&] {
    int property = -1;
    for (int i = 0; i < 3; ++i) {
      if (name != nullptr && EqualsIgnoringCase(name, kProperties[i])) property = i;
    }
    if (property < 0) throw BasicError(err::kNotAnObjectProperty);
    if ((flags & TG_INVOKE_PROPERTY_PUT) != 0) {
      if (arg_count != 1) throw BasicError(err::kWrongNumberOfArguments);
      if (args == nullptr) throw BasicError(err::kInvalidProcedureCall);
      const double value = ChangeType(args[0], TG_R8).r8();
      object->values[property] = value;
      if (object->sink.set != nullptr) {
        object->sink.set(object->sink.context, kProperties[property], value);
      }
    } else if ((flags & TG_INVOKE_PROPERTY_GET) != 0) {
      if (arg_count != 0) throw BasicError(err::kWrongNumberOfArguments);
      if (result != nullptr) {
        result->kind = TG_R8;
        result->u.r8 = object->values[property];
      }
    } else {
      throw BasicError(err::kNotAnObjectProperty);
    }
  });
}

const tg_dispatch_vtbl kVtbl = {AddRef, Release, Invoke};

}  // namespace
}  // namespace tallygate

extern "C" tg_dispatch* tg_progress_object_create(const tg_progress_sink* sink) {
  auto* object = new (std::nothrow) tallygate::ProgressDispatch{};
  if (object == nullptr) return nullptr;
  object->base.vtbl = &tallygate::kVtbl;
  if (sink != nullptr) object->sink = *sink;
  return &object->base;
}
