#include "tallygate/error_passing.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace tallygate {

int32_t WriteError(tg_error* out, int32_t number, const char* description,
                   int32_t argument) noexcept {
  if (out != nullptr) {
    out->number = number;
    out->argument = argument;
    out->description = nullptr;
    if (description != nullptr) {
      const size_t size = std::strlen(description) + 1;
      out->description = static_cast<char*>(std::malloc(size));
      if (out->description != nullptr) std::memcpy(out->description, description, size);
    }
  }
  return number;
}

int32_t WriteError(tg_error* out, const BasicError& error, int32_t argument) noexcept {
  return WriteError(out, error.number(), error.description().c_str(), argument);
}

void WriteSuccess(tg_error* out) noexcept {
  if (out != nullptr) {
    out->number = 0;
    out->argument = -1;
    out->description = nullptr;
  }
}

BasicError TakeError(tg_error& error) {
  std::string description = error.description != nullptr ? error.description : "";
  const int32_t number = error.number;
  tg_error_clear(&error);
  if (description.empty()) return BasicError(number);
  return BasicError(number, std::move(description));
}

}  // namespace tallygate
