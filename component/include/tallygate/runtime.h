/* The caller's side of the component layer: creating an object from its
 * programmatic identifier, and lending the host's services to the libraries
 * it loads.
 *
 * Libraries, once loaded, stay loaded until the process ends. */
#ifndef TALLYGATE_RUNTIME_H_
#define TALLYGATE_RUNTIME_H_

#include <stdint.h>

#include "tallygate/dispatch.h"
#include "tallygate/host_services.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Looks `prog_id` up in the registration store (tallygate/component_server.h),
 * loads the library it names, gets the class factory through
 * DllGetClassObject and creates one object; *object receives it, with one
 * reference. Returns 0, or:
 *   429 the identifier is not registered: the description names the store
 *       files searched; or the library does not serve the class;
 *   48  the library does not load: the description gives the loader's reason,
 *       the library's path and the store that named it;
 *   453 the library lacks DllGetClassObject;
 *   or the error with which the class refused to create the object.
 * error, when not null, is always written (free it with tg_error_clear). */
int32_t tg_create_object(const char *prog_id, tg_dispatch **object, tg_error *error);

/* Installs the host's services (message boxes, about box, event pump) in
 * every component library loaded so far and in each one loaded later, and in
 * this program's own copy of the library if it has one linked in. A null
 * pointer takes the defaults back. The structure is copied. */
void tg_runtime_set_host_services(const tg_host_services *services);

#ifdef __cplusplus
}
#endif

#endif /* TALLYGATE_RUNTIME_H_ */
