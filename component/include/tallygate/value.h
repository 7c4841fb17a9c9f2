/* Values that cross the component boundary: a variant, as a late-bound Basic
 * caller passes and receives them.
 *
 * A tg_value holds one of the kinds below. Texts are UTF-8 with an explicit
 * length (they may hold NUL characters) and are also NUL-terminated. Memory
 * rules, so that any language can take part without our helpers:
 *
 *   - A text's data and an array's items are allocated with malloc and freed
 *     with free; a value owns them.
 *   - A value of kind TG_OBJECT owns one reference to its object (released
 *     through the object's own release).
 *   - A TG_BYREF value owns nothing: it points at the caller's variable.
 *
 * tg_value_clear releases what a value owns and leaves it empty. A value that
 * is all zero bytes is a valid empty value. */
#ifndef TALLYGATE_VALUE_H_
#define TALLYGATE_VALUE_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tg_dispatch tg_dispatch;
typedef struct tg_value tg_value;

/* The kinds. The numbers are those a Basic runtime gives its variant types. */
enum {
  TG_EMPTY = 0,     /* no value yet (Basic's Empty) */
  TG_I2 = 2,        /* 16-bit integer */
  TG_I4 = 3,        /* 32-bit integer */
  TG_R4 = 4,        /* single */
  TG_R8 = 5,        /* double */
  TG_DATE = 7,      /* days since 1899-12-30; the fraction is the time of day */
  TG_TEXT = 8,      /* UTF-8 text */
  TG_OBJECT = 9,    /* a dispatch object, or none (Nothing) */
  TG_MISSING = 10,  /* an omitted argument: the parameter's default applies */
  TG_BOOL = 11,     /* 16-bit Boolean: true is -1, false 0 */
  TG_BYTE = 17,     /* unsigned 8-bit integer */
  TG_ARRAY = 0x2000, /* a one-dimensional array of values */
  TG_BYREF = 0x4000  /* a reference to the caller's variable */
};

enum { TG_TRUE = -1, TG_FALSE = 0 };

typedef struct tg_text {
  char *data; /* malloc'ed, length + 1 bytes, NUL-terminated; null when empty */
  int32_t length;
} tg_text;

typedef struct tg_array {
  tg_value *items; /* malloc'ed, count values; null when count is 0 */
  int32_t count;
} tg_array;

struct tg_value {
  int32_t kind;
  union {
    uint8_t byte_value; /* TG_BYTE */
    int16_t i2;         /* TG_I2 */
    int32_t i4;         /* TG_I4 */
    float r4;           /* TG_R4 */
    double r8;          /* TG_R8 */
    int16_t boolean;    /* TG_BOOL: TG_TRUE or TG_FALSE */
    double date;        /* TG_DATE */
    tg_text text;       /* TG_TEXT */
    tg_dispatch *object; /* TG_OBJECT; null is Nothing */
    tg_array array;     /* TG_ARRAY */
    tg_value *ref;      /* TG_BYREF: the caller's variable, never itself TG_BYREF */
  } u;
};

/* A failure as a Basic caller sees it: an error number and its description.
 * `argument` is the 0-based position of the argument that caused it, or -1.
 * The description is malloc'ed UTF-8 (null when number is 0). */
typedef struct tg_error {
  int32_t number;
  int32_t argument;
  char *description;
} tg_error;

/* Makes *value empty without reading it. */
void tg_value_init(tg_value *value);

/* Releases what *value owns and makes it empty. */
void tg_value_clear(tg_value *value);

/* Makes *destination a deep copy of *source (texts and arrays copied, objects
 * shared). *destination is cleared first; it may not be source. Returns 0, or
 * 7 (out of memory) leaving *destination empty. */
int32_t tg_value_copy(tg_value *destination, const tg_value *source);

/* Makes *value a text holding `length` bytes of `data` (length -1: up to the
 * first NUL). *value is cleared first. Returns 0, or 7 (out of memory). */
int32_t tg_value_set_text(tg_value *value, const char *data, int32_t length);

/* Converts *source (followed when it is TG_BYREF) to `kind` by the rules a
 * late-bound Basic caller relies on (docs/conversions.md) and stores the
 * result in *destination, which is cleared first. For TG_ARRAY every item is
 * converted to `element_kind` (TG_EMPTY keeps the items as they are). Returns
 * 0, or the error number (13 "Type mismatch", 6 "Overflow", 7), also written
 * to *error when error is not null; *destination is then empty. */
int32_t tg_value_change_type(tg_value *destination, const tg_value *source, int32_t kind,
                             int32_t element_kind, tg_error *error);

/* Frees the description and zeroes the error. */
void tg_error_clear(tg_error *error);

#ifdef __cplusplus
}
#endif

#endif /* TALLYGATE_VALUE_H_ */
