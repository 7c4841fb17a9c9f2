/* A ready-made progress object for hosts.
 *
 * A record collection (GatherData's objProBar) reports its progress to any
 * dispatch object whose properties "Max", "Min" and "Value" it can put by
 * name. A host that has a progress widget of its own wraps it with
 * tg_progress_object_create and passes the object, as a TG_OBJECT value, in
 * the call by name; TG_EMPTY, a null object or a missing argument means no
 * progress reporting.
 *
 * Inside the library the typed interface receives the argument as a
 * tallygate::ProgressObject* (tallygate/progress_object.h): the call-by-name
 * layer wraps the caller's object so that each PutProperty(name, value) is a
 * property put by name on it, an error of the object being thrown as a
 * BasicError with the object's number and description; null stands for no
 * object. C++ hosts that use the typed interface directly implement
 * ProgressObject themselves. */
#ifndef TALLYGATE_PROGRESS_H_
#define TALLYGATE_PROGRESS_H_

#include "tallygate/dispatch.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tg_progress_sink {
  /* Passed back to both calls. */
  void *context;
  /* Called on every put of "Max", "Min" or "Value" (the property name as
   * spelt here, whatever case the caller used) with the new value. May be
   * null. */
  void (*set)(void *context, const char *property, double value);
  /* Called once when the object goes. May be null. */
  void (*destroy)(void *context);
} tg_progress_sink;

/* A dispatch object with the three numeric properties, which reads back what
 * was put (all start at 0) and tells the sink of each put. Other names give
 * 438; a value that is not a number gives 13. Returns the object with one
 * reference, or null when out of memory. */
tg_dispatch *tg_progress_object_create(const tg_progress_sink *sink);

#ifdef __cplusplus
}
#endif

#endif /* TALLYGATE_PROGRESS_H_ */
