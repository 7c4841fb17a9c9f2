// The shared library TALLYGATE_V70: the link library with only its public
// interface exported (see tallygate/export.h). Entry points of its own are
// defined here: the four of a component library (tallygate/component_server.h),
// and tg_set_host_services (tallygate/host_services.h), which comes with the
// component layer.
#include <type_traits>

#include "link/binding/entry_points.h"
#include "tallygate/connect_v70.h"
#include "tallygate/export.h"
#include "tallygate/host_services.h"

extern "C" {

TALLYGATE_EXPORT int32_t DllRegisterServer(void) {
  return tallygate::binding::RegisterServer(tallygate::binding::ThisLibrary());
}

TALLYGATE_EXPORT int32_t DllUnregisterServer(void) {
  return tallygate::binding::UnregisterServer();
}

TALLYGATE_EXPORT int32_t DllGetClassObject(const char* class_id, tg_class_factory** factory) {
  return tallygate::binding::GetClassObject(class_id, factory);
}

TALLYGATE_EXPORT int32_t DllCanUnloadNow(void) { return tallygate::binding::CanUnloadNow(); }

}  // extern "C"

static_assert(std::is_same_v<decltype(&DllRegisterServer), tg_register_server_fn>);
static_assert(std::is_same_v<decltype(&DllUnregisterServer), tg_unregister_server_fn>);
static_assert(std::is_same_v<decltype(&DllGetClassObject), tg_get_class_object_fn>);
static_assert(std::is_same_v<decltype(&DllCanUnloadNow), tg_can_unload_now_fn>);
