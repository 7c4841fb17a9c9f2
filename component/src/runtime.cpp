// The caller's runtime: creation by programmatic identifier, and the host's
// services lent to every component library loaded.
#include "tallygate/runtime.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "tallygate/basic_error.h"
#include "tallygate/component_server.h"
#include "tallygate/error_passing.h"
#include "tallygate/registry.h"

namespace tallygate {
namespace {

using SetHostServicesFn = void (*)(const tg_host_services*);

struct RuntimeState {
  std::mutex mutex;
  std::optional<tg_host_services> host;
  std::map<std::string, void*> libraries;  // by path; never unloaded
};

RuntimeState& State() {
  static RuntimeState* state = new RuntimeState();  // lives as long as the libraries
  return *state;
}

void LendHost(void* library, const std::optional<tg_host_services>& host) {
  auto set = reinterpret_cast<SetHostServicesFn>(dlsym(library, "tg_set_host_services"));
  if (set != nullptr) set(host ? &*host : nullptr);
}

std::string Quoted(std::string_view text) {
  // Appended piece by piece: `"\"" + std::string(text)` inserts at the front,
  // which GCC 12 at -O3 takes for an overlapping copy (-Wrestrict).
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  quoted += text;
  quoted += '"';
  return quoted;
}

std::string SearchedStores() {
  std::string list;
  for (const std::filesystem::path& store : registry::SearchPath()) {
    if (!list.empty()) list += ", ";
    list += store.string();
  }
  return list;
}

void* LoadLibrary(const registry::Found& found) {
  RuntimeState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  const std::string path = found.entry.library.string();
  if (auto it = state.libraries.find(path); it != state.libraries.end()) return it->second;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    throw BasicError(err::kErrorInLoadingDll,
                     std::string(StandardDescription(err::kErrorInLoadingDll)) + ": " +
                         (reason != nullptr ? reason : path) + " (library of " +
                         Quoted(found.entry.prog_id) + " registered in " + found.store.string() +
                         ")");
  }
  state.libraries.emplace(path, library);
  if (state.host) LendHost(library, state.host);
  return library;
}

tg_dispatch* CreateObject(const char* prog_id) {
  if (prog_id == nullptr) throw BasicError(err::kInvalidProcedureCall);
  const std::optional<registry::Found> found = registry::Find(prog_id);
  if (!found) {
    throw BasicError(err::kCantCreateObject,
                     std::string(StandardDescription(err::kCantCreateObject)) + ": " +
                         Quoted(prog_id) + " is not registered (looked in " + SearchedStores() +
                         ")");
  }
  void* library = LoadLibrary(*found);
  auto get_class_object =
      reinterpret_cast<tg_get_class_object_fn>(dlsym(library, "DllGetClassObject"));
  if (get_class_object == nullptr) {
    throw BasicError(err::kDllFunctionNotFound,
                     std::string(StandardDescription(err::kDllFunctionNotFound)) +
                         ": DllGetClassObject in " + found->entry.library.string());
  }
  tg_class_factory* factory = nullptr;
  if (get_class_object(found->entry.class_id.c_str(), &factory) != 0 || factory == nullptr) {
    throw BasicError(err::kCantCreateObject,
                     std::string(StandardDescription(err::kCantCreateObject)) + ": " +
                         found->entry.library.string() + " does not serve class " +
                         found->entry.class_id + " of " + Quoted(prog_id) + " (registered in " +
                         found->store.string() + ")");
  }
  tg_dispatch* object = nullptr;
  tg_error error{};
  const int32_t number = factory->vtbl->create_instance(factory, &object, &error);
  factory->vtbl->release(factory);
  if (number != 0) throw TakeError(error);
  tg_error_clear(&error);
  return object;
}

}  // namespace
}  // namespace tallygate

extern "C" int32_t tg_create_object(const char* prog_id, tg_dispatch** object, tg_error* error) {
  if (object != nullptr) *object = nullptr;
  tg_dispatch* created = nullptr;
  const int32_t number = tallygate::Guarded(error, [&] {
    if (object == nullptr) throw tallygate::BasicError(tallygate::err::kInvalidProcedureCall);
    created = tallygate::CreateObject(prog_id);
  });
  if (number == 0) *object = created;
  return number;
}

extern "C" void tg_runtime_set_host_services(const tg_host_services* services) {
  tallygate::RuntimeState& state = tallygate::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.host.reset();
  if (services != nullptr) state.host = *services;
  for (const auto& [path, library] : state.libraries) tallygate::LendHost(library, state.host);
  // A program with the library linked in has a copy of its own.
  tg_set_host_services(services);
}
