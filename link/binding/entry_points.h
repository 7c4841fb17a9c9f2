// The library's side of the component layer: its objects as dispatch
// objects, its class factory, its registration, and the count of what is
// alive. link/exports.cpp exports these under the standard entry-point names.
#ifndef TALLYGATE_LINK_BINDING_ENTRY_POINTS_H_
#define TALLYGATE_LINK_BINDING_ENTRY_POINTS_H_

#include <cstdint>
#include <filesystem>

#include "tallygate/component_server.h"

namespace tallygate::binding {

// DllGetClassObject: the factory of Connect_v70 for its class id.
int32_t GetClassObject(const char* class_id, tg_class_factory** factory) noexcept;

// DllCanUnloadNow: TG_S_OK when no object, factory or server lock is alive.
int32_t CanUnloadNow() noexcept;

// DllRegisterServer: records Connect_v70 with `library` (absolute) in the
// writable store. Returns 0 or the error number.
int32_t RegisterServer(const std::filesystem::path& library) noexcept;

// DllUnregisterServer: removes Connect_v70's class id from the writable
// store. Returns 0 (also when it was not there) or the error number.
int32_t UnregisterServer() noexcept;

// The absolute path of the file this code was loaded from, as the loader
// knows it (a symbolic link stays one); empty when it cannot be told.
std::filesystem::path ThisLibrary() noexcept;

}  // namespace tallygate::binding

#endif  // TALLYGATE_LINK_BINDING_ENTRY_POINTS_H_
