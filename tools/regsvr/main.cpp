// tallygate-regsvr: registers a component library, or removes its
// registration, by calling its own DllRegisterServer or DllUnregisterServer.
//
//   tallygate-regsvr [-u] [--system] LIBRARY   (see --help, tallygate-regsvr.1)
//
// The registration goes to the store DllRegisterServer writes
// ($TALLYGATE_REGISTRY, else the per-user file); --system writes the
// system-wide file instead. Exit status 0 on success, 1 when the library
// does not load or refuses, 2 for a usage error.
#include <dlfcn.h>

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "common/cli/command_line.h"
#include "tallygate/basic_error.h"
#include "tallygate/component_server.h"
#include "tallygate/registry.h"

int main(int argc, char** argv) {
  bool unregister = false;
  bool system = false;
  std::string library;
  CLI::App app("Registers a component library, or removes its registration, by calling its own\n"
               "DllRegisterServer or DllUnregisterServer.",
               "tallygate-regsvr");
  tallygate::command_line::Prepare(app);
  app.add_flag("-u,--unregister", unregister, "remove the library's registration");
  app.add_flag("--system", system,
               "use the system-wide store (" + tallygate::registry::SystemStore().string() + ")\n"
               "instead of $" + tallygate::registry::kStoreVariable + " or the per-user store");
  app.add_option("LIBRARY", library, "the library file")
      ->required()
      ->check(CLI::Validator(
          [](std::string& name) { return name.empty() ? std::string("needs a file name") : std::string(); }, ""));
  app.footer("Exit status: 0 on success, 1 when the library does not load or refuses,\n"
             "2 for a usage error.");
  if (const auto status = tallygate::command_line::Parse(app, argc, argv)) return *status;
  if (system) {
    setenv(tallygate::registry::kStoreVariable, tallygate::registry::SystemStore().c_str(), 1);
  }

  // A path, never a name for the loader to search; kept absolute so that the
  // library records where it really is.
  const std::filesystem::path path = std::filesystem::absolute(library);
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    std::cerr << "tallygate-regsvr: cannot load " << path.string() << ": "
              << (reason != nullptr ? reason : "unknown reason") << "\n";
    return 1;
  }
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto function = reinterpret_cast<tg_register_server_fn>(dlsym(handle, entry));
  if (function == nullptr) {
    std::cerr << "tallygate-regsvr: " << path.string() << " has no " << entry << "\n";
    return 1;
  }
  const std::string store = tallygate::registry::WritableStore().string();
  const int32_t number = function();
  if (number != 0) {
    std::cerr << "tallygate-regsvr: " << entry << " of " << path.string() << " failed with error "
              << number << " (" << tallygate::StandardDescription(number) << ") on " << store
              << "\n";
    return 1;
  }
  std::cout << (unregister ? "unregistered " : "registered ") << path.string()
            << (unregister ? " from " : " in ") << store << "\n";
  return 0;
}
