// The C functions of tallygate/value.h.
#include "tallygate/value.h"

#include <cstdlib>
#include <cstring>

#include "tallygate/basic_error.h"
#include "tallygate/conversions.h"
#include "tallygate/dispatch.h"
#include "tallygate/error_passing.h"

using tallygate::err::kOutOfMemory;

extern "C" {

void tg_value_init(tg_value *value) { std::memset(value, 0, sizeof *value); }

void tg_value_clear(tg_value *value) {
  switch (value->kind) {
    case TG_TEXT:
      std::free(value->u.text.data);
      break;
    case TG_OBJECT:
      if (value->u.object != nullptr) value->u.object->vtbl->release(value->u.object);
      break;
    case TG_ARRAY:
      for (int32_t i = 0; i < value->u.array.count; ++i) tg_value_clear(&value->u.array.items[i]);
      std::free(value->u.array.items);
      break;
    default:
      break;
  }
  tg_value_init(value);
}

int32_t tg_value_copy(tg_value *destination, const tg_value *source) {
  tg_value_clear(destination);
  switch (source->kind) {
    case TG_TEXT:
      return tg_value_set_text(destination, source->u.text.data, source->u.text.length);
    case TG_OBJECT:
      if (source->u.object != nullptr) source->u.object->vtbl->add_ref(source->u.object);
      *destination = *source;
      return 0;
    case TG_ARRAY: {
      const int32_t count = source->u.array.count;
      tg_value *items = nullptr;
      if (count > 0) {
        items = static_cast<tg_value *>(std::calloc(static_cast<size_t>(count), sizeof(tg_value)));
        if (items == nullptr) return kOutOfMemory;
        for (int32_t i = 0; i < count; ++i) {
          if (tg_value_copy(&items[i], &source->u.array.items[i]) != 0) {
            for (int32_t j = 0; j < i; ++j) tg_value_clear(&items[j]);
            std::free(items);
            return kOutOfMemory;
          }
        }
      }
      destination->kind = TG_ARRAY;
      destination->u.array.items = items;
      destination->u.array.count = count;
      return 0;
    }
    default:
      *destination = *source;
      return 0;
  }
}

int32_t tg_value_set_text(tg_value *value, const char *data, int32_t length) {
  tg_value_clear(value);
  if (length < 0) length = data != nullptr ? static_cast<int32_t>(std::strlen(data)) : 0;
  char *copy = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
  if (copy == nullptr) return kOutOfMemory;
  if (length > 0) std::memcpy(copy, data, static_cast<size_t>(length));
  copy[length] = '\0';
  value->kind = TG_TEXT;
  value->u.text.data = copy;
  value->u.text.length = length;
  return 0;
}

int32_t tg_value_change_type(tg_value *destination, const tg_value *source, int32_t kind,
                             int32_t element_kind, tg_error *error) {
  tallygate::Variant result;
  const int32_t number = tallygate::Guarded(error, [&] {
    result = tallygate::ChangeType(*source, kind, element_kind);
  });
  tg_value_clear(destination);
  if (number == 0) *destination = result.Release();
  return number;
}

void tg_error_clear(tg_error *error) {
  std::free(error->description);
  error->number = 0;
  error->argument = -1;
  error->description = nullptr;
}

}  // extern "C"
