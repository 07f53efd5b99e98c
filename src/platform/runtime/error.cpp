#include "platform/runtime/error.h"

#include <utility>

namespace platform {

Error::Error(int number, std::string description)
    : std::runtime_error(std::to_string(number) + ": " + description),
      number_(number),
      description_(std::move(description)) {}

void Raise(int number, std::string description) {
  throw Error(number, std::move(description));
}

}  // namespace platform
