/* The dispatch interface: an object whose members are called by name at run
 * time, and the class factory that makes such objects.
 *
 * Both are plain C function tables, so a program built with another compiler
 * or in another language can drive them. The first member of every object is
 * a pointer to its table; call through it with the object itself:
 *
 *   object->vtbl->invoke(object, "SetPort", TG_INVOKE_METHOD, args, 1,
 *                        &result, &error);
 *
 * Reference counting: whoever receives an object pointer (from a factory,
 * inside a value, from tg_create_object) owns one reference and gives it back
 * with release. */
#ifndef TALLYGATE_DISPATCH_H_
#define TALLYGATE_DISPATCH_H_

#include <stdint.h>

#include "tallygate/value.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What `invoke` does; a caller may combine METHOD and PROPERTY_GET, as a
 * Basic expression `object.Name` does: a method of that name is called, or
 * else the property is read. */
enum {
  TG_INVOKE_METHOD = 1,
  TG_INVOKE_PROPERTY_GET = 2,
  TG_INVOKE_PROPERTY_PUT = 4
};

typedef struct tg_dispatch_vtbl {
  uint32_t (*add_ref)(tg_dispatch *self);
  /* Gives back one reference; the object goes with the last one. */
  uint32_t (*release)(tg_dispatch *self);
  /* Calls the member `name` (UTF-8, case-insensitive).
   *
   * args: arg_count values in parameter order (not reversed). They stay the
   * caller's: the callee neither keeps nor frees them. A TG_MISSING value, or
   * an argument left off the end, takes the parameter's default. A TG_BYREF
   * value lends the caller's variable: after a successful call it holds the
   * parameter's final value (cleared and rewritten by the callee).
   * For TG_INVOKE_PROPERTY_PUT the one argument is the new value.
   *
   * result: may be null. Otherwise it receives the result (TG_EMPTY for a
   * method without one); its previous content is overwritten, not freed.
   *
   * error: may be null. Otherwise it is always written: number 0 on success,
   * or the error number, the argument's position and a description the
   * caller frees with tg_error_clear.
   *
   * Returns 0 or the error number. Nothing else ever crosses: no exception,
   * no longjmp. */
  int32_t (*invoke)(tg_dispatch *self, const char *name, int32_t flags, const tg_value *args,
                    int32_t arg_count, tg_value *result, tg_error *error);
} tg_dispatch_vtbl;

struct tg_dispatch {
  const tg_dispatch_vtbl *vtbl;
};

typedef struct tg_class_factory tg_class_factory;

typedef struct tg_class_factory_vtbl {
  uint32_t (*add_ref)(tg_class_factory *self);
  uint32_t (*release)(tg_class_factory *self);
  /* Makes a new object; *object receives it, with one reference. Returns 0
   * or the error number of the failed creation (error as for invoke). */
  int32_t (*create_instance)(tg_class_factory *self, tg_dispatch **object, tg_error *error);
  /* Non-zero keeps the library loaded (DllCanUnloadNow says no) until the
   * matching call with 0. Returns 0. */
  int32_t (*lock_server)(tg_class_factory *self, int32_t lock);
} tg_class_factory_vtbl;

struct tg_class_factory {
  const tg_class_factory_vtbl *vtbl;
};

#ifdef __cplusplus
}
#endif

#endif /* TALLYGATE_DISPATCH_H_ */
