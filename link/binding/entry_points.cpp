#include "link/binding/entry_points.h"

#include <dlfcn.h>

#include <atomic>
#include <memory>
#include <new>

#include "link/binding/dispatcher.h"
#include "link/binding/member_table.h"
#include "tallygate/ascii_text.h"
#include "tallygate/basic_error.h"
#include "tallygate/error_passing.h"
#include "tallygate/registry.h"

namespace tallygate::binding {
namespace {

// Objects, factories and server locks alive.
std::atomic<int64_t> g_alive{0};

// A Connect_v70 as a dispatch object.
struct ConnectObject : tg_dispatch {
  ConnectObject() : tg_dispatch{&kVtbl} { ++g_alive; }
  ~ConnectObject() { --g_alive; }
  ConnectObject(const ConnectObject&) = delete;
  ConnectObject& operator=(const ConnectObject&) = delete;

  static uint32_t AddRef(tg_dispatch* self) {
    return ++static_cast<ConnectObject*>(self)->references;
  }
  static uint32_t Release(tg_dispatch* self) {
    auto* object = static_cast<ConnectObject*>(self);
    const uint32_t left = --object->references;
    if (left == 0) delete object;
    return left;
  }
  static int32_t Invoke(tg_dispatch* self, const char* name, int32_t flags, const tg_value* args,
                        int32_t arg_count, tg_value* result, tg_error* error) {
    return binding::Invoke(Connect_v70Members(), static_cast<ConnectObject*>(self)->object, name,
                           flags, args, arg_count, result, error);
  }
  static constexpr tg_dispatch_vtbl kVtbl = {AddRef, Release, Invoke};

  std::atomic<uint32_t> references{1};
  Connect_v70 object;
};

struct ClassFactory : tg_class_factory {
  ClassFactory() : tg_class_factory{&kVtbl} { ++g_alive; }
  ~ClassFactory() { --g_alive; }
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  static uint32_t AddRef(tg_class_factory* self) {
    return ++static_cast<ClassFactory*>(self)->references;
  }
  static uint32_t Release(tg_class_factory* self) {
    auto* factory = static_cast<ClassFactory*>(self);
    const uint32_t left = --factory->references;
    if (left == 0) delete factory;
    return left;
  }
  static int32_t CreateInstance(tg_class_factory*, tg_dispatch** object, tg_error* error) {
    if (object != nullptr) *object = nullptr;
    ConnectObject* created = nullptr;
    const int32_t number = Guarded(error, [&] {
      if (object == nullptr) throw BasicError(err::kInvalidProcedureCall);
      created = new ConnectObject();
    });
    if (number == 0) *object = created;
    return number;
  }
  static int32_t LockServer(tg_class_factory*, int32_t lock) {
    if (lock != 0) {
      ++g_alive;
    } else {
      --g_alive;
    }
    return 0;
  }
  static constexpr tg_class_factory_vtbl kVtbl = {AddRef, Release, CreateInstance, LockServer};

  std::atomic<uint32_t> references{1};
};

}  // namespace

int32_t GetClassObject(const char* class_id, tg_class_factory** factory) noexcept {
  if (factory == nullptr) return err::kInvalidProcedureCall;
  *factory = nullptr;
  if (class_id == nullptr || !EqualsIgnoringCase(class_id, TG_CONNECT_V70_CLASS_ID)) {
    return err::kCantCreateObject;
  }
  *factory = new (std::nothrow) ClassFactory();
  return *factory != nullptr ? 0 : err::kOutOfMemory;
}

int32_t CanUnloadNow() noexcept { return g_alive.load() > 0 ? TG_S_FALSE : TG_S_OK; }

int32_t RegisterServer(const std::filesystem::path& library) noexcept {
  return Guarded(nullptr, [&] {
    if (library.empty()) throw BasicError(err::kFileNotFound);
    registry::Add(registry::WritableStore(),
                  {TG_CONNECT_V70_PROG_ID, TG_CONNECT_V70_CLASS_ID, library});
  });
}

int32_t UnregisterServer() noexcept {
  return Guarded(nullptr, [&] {
    registry::Remove(registry::WritableStore(), TG_CONNECT_V70_CLASS_ID);
  });
}

std::filesystem::path ThisLibrary() noexcept {
  try {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ThisLibrary), &info) == 0 || info.dli_fname == nullptr ||
        info.dli_fname[0] == '\0') {
      return {};
    }
    return std::filesystem::absolute(info.dli_fname);
  } catch (...) {
    return {};
  }
}

}  // namespace tallygate::binding
