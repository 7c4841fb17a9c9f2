/* The entry points every component library exports, and the identity of the
 * class this project's library serves.
 *
 * A component library is a shared library that exports the four functions
 * below with C linkage. Callers normally reach it through tg_create_object
 * (tallygate/runtime.h), which looks the class up in the registration store,
 * loads the library and calls DllGetClassObject; the function types below are
 * for those who load it themselves with dlopen and dlsym.
 *
 * Registration store: text files of one registration a line, the
 * programmatic identifier, the class id and the library's absolute path
 * separated by tabs; blank lines and lines starting with # are comments.
 *   - $TALLYGATE_REGISTRY when set: the only store, read and written (tests);
 *   - otherwise the per-user file $XDG_CONFIG_HOME/tallygate/components
 *     (~/.config/tallygate/components), read first and written by
 *     DllRegisterServer,
 *   - then the system-wide file (by default /etc/tallygate/components),
 *     written by the install step (tallygate-regsvr --system).
 * A programmatic identifier is looked up case-insensitively; the first
 * store that has it wins. */
#ifndef TALLYGATE_COMPONENT_SERVER_H_
#define TALLYGATE_COMPONENT_SERVER_H_

#include <stdint.h>

#include "tallygate/dispatch.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The link library's one creatable class. */
#define TG_CONNECT_V70_PROG_ID "TALLYGATE_v70.Connect_v70"
#define TG_CONNECT_V70_CLASS_ID "{7A3C2E91-4B6D-4F08-9E15-C0D8B2A6F473}"

/* DllCanUnloadNow's answers. */
enum { TG_S_OK = 0, TG_S_FALSE = 1 };

/* Records the library's classes in the store that is written (above), with
 * the library's absolute path. Returns 0 or an error number (70 "Permission
 * denied", 75 "Path/File access error", ...). */
typedef int32_t (*tg_register_server_fn)(void);

/* Removes the library's classes from that store; 0 also when they were not
 * there. */
typedef int32_t (*tg_unregister_server_fn)(void);

/* Hands out the class factory of `class_id` (text, case-insensitive), with
 * one reference. Returns 0, or 429 when the library does not serve that
 * class. */
typedef int32_t (*tg_get_class_object_fn)(const char *class_id, tg_class_factory **factory);

/* TG_S_OK when no object, factory or server lock of the library is alive, so
 * that it may be unloaded; TG_S_FALSE otherwise. */
typedef int32_t (*tg_can_unload_now_fn)(void);

#ifdef __cplusplus
}
#endif

#endif /* TALLYGATE_COMPONENT_SERVER_H_ */
