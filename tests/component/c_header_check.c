/* Compiled as C: the component layer's C headers must stay C, and a C
 * program must be able to drive values and dispatch objects with them. */
#include <stdlib.h>
#include <string.h>

#include "tallygate/component_server.h"
#include "tallygate/dispatch.h"
#include "tallygate/host_services.h"
#include "tallygate/progress.h"
#include "tallygate/runtime.h"
#include "tallygate/value.h"

int tg_c_check_values(void);
int tg_c_check_progress(void);

/* Each check returns 0, or the line of the first that failed. */
#define CHECK(condition) \
  do {                   \
    if (!(condition)) return __LINE__; \
  } while (0)

int tg_c_check_values(void) {
  tg_value text, copy, number, array, converted;
  tg_error error = {0, -1, NULL};
  tg_value_init(&text);
  tg_value_init(&copy);
  tg_value_init(&number);
  tg_value_init(&array);
  tg_value_init(&converted);

  /* Texts keep NUL characters and are NUL-terminated. */
  CHECK(tg_value_set_text(&text, "a\0b", 3) == 0);
  CHECK(text.kind == TG_TEXT && text.u.text.length == 3 && text.u.text.data[3] == '\0');
  CHECK(tg_value_copy(&copy, &text) == 0);
  CHECK(copy.u.text.data != text.u.text.data && memcmp(copy.u.text.data, "a\0b", 4) == 0);

  /* Arrays are copied item by item. */
  array.kind = TG_ARRAY;
  array.u.array.count = 2;
  array.u.array.items = (tg_value *)calloc(2, sizeof(tg_value));
  CHECK(array.u.array.items != NULL);
  CHECK(tg_value_set_text(&array.u.array.items[0], "08:00", -1) == 0);
  CHECK(tg_value_set_text(&array.u.array.items[1], "12:30", -1) == 0);
  CHECK(tg_value_change_type(&converted, &array, TG_ARRAY, TG_DATE, &error) == 0);
  CHECK(converted.u.array.count == 2 && converted.u.array.items[1].kind == TG_DATE);
  CHECK(converted.u.array.items[1].u.date > 0.52 && converted.u.array.items[1].u.date < 0.53);

  /* Conversion errors come back as number and description. */
  number.kind = TG_I4;
  number.u.i4 = 40000;
  CHECK(tg_value_change_type(&converted, &number, TG_I2, TG_EMPTY, &error) == 6);
  CHECK(error.number == 6 && error.description != NULL &&
        strcmp(error.description, "Overflow") == 0);
  CHECK(converted.kind == TG_EMPTY);
  tg_error_clear(&error);
  CHECK(error.description == NULL);

  tg_value_clear(&text);
  tg_value_clear(&copy);
  tg_value_clear(&array);
  tg_value_clear(&converted);
  CHECK(text.kind == TG_EMPTY && array.kind == TG_EMPTY);
  return 0;
}

struct sink_state {
  double last;
  int sets;
  int destroyed;
};

static void on_set(void *context, const char *property, double value) {
  struct sink_state *state = (struct sink_state *)context;
  if (strcmp(property, "Value") == 0) state->last = value;
  state->sets++;
}

static void on_destroy(void *context) { ((struct sink_state *)context)->destroyed++; }

int tg_c_check_progress(void) {
  struct sink_state state = {0, 0, 0};
  tg_progress_sink sink;
  tg_dispatch *progress;
  tg_value arg, result, holder;
  tg_error error = {0, -1, NULL};
  sink.context = &state;
  sink.set = on_set;
  sink.destroy = on_destroy;
  progress = tg_progress_object_create(&sink);
  CHECK(progress != NULL);

  /* Put by name, case-insensitively, with a text that converts. */
  tg_value_init(&arg);
  CHECK(tg_value_set_text(&arg, "42", -1) == 0);
  CHECK(progress->vtbl->invoke(progress, "value", TG_INVOKE_PROPERTY_PUT, &arg, 1, NULL,
                               &error) == 0);
  CHECK(error.number == 0 && state.last == 42 && state.sets == 1);
  CHECK(progress->vtbl->invoke(progress, "Value", TG_INVOKE_PROPERTY_GET, NULL, 0, &result,
                               &error) == 0);
  CHECK(result.kind == TG_R8 && result.u.r8 == 42);

  /* An unknown name and a text that is no number are errors, not crashes. */
  CHECK(progress->vtbl->invoke(progress, "Colour", TG_INVOKE_PROPERTY_PUT, &arg, 1, NULL,
                               &error) == 438);
  tg_error_clear(&error);
  CHECK(tg_value_set_text(&arg, "much", -1) == 0);
  CHECK(progress->vtbl->invoke(progress, "Max", TG_INVOKE_PROPERTY_PUT, &arg, 1, NULL, &error) ==
        13);
  CHECK(error.argument == -1 || error.argument == 0);
  tg_error_clear(&error);
  tg_value_clear(&arg);

  /* A value holding the object keeps it alive; the last release destroys it. */
  tg_value_init(&holder);
  holder.kind = TG_OBJECT;
  holder.u.object = progress; /* takes over the creation's reference */
  CHECK(tg_value_copy(&result, &holder) == 0);
  tg_value_clear(&holder);
  CHECK(state.destroyed == 0);
  tg_value_clear(&result);
  CHECK(state.destroyed == 1);
  return 0;
}
