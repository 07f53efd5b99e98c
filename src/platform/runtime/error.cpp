#include "platform/runtime/error.h"

#include <new>
#include <utility>

namespace platform {

Error::Error(int number, std::string description)
    : std::runtime_error(std::to_string(number) + ": " + description),
      number_(number),
      description_(std::move(description)) {}

void Raise(int number, std::string description) {
  throw Error(number, std::move(description));
}

Error CurrentError() noexcept {
  try {
    // Building the texts below may itself run out of memory.
    try {
      throw;
    } catch (const Error& error) {
      return error;
    } catch (const std::bad_alloc&) {
      return Error(err::kOutOfMemory, "内存不足");
    } catch (const std::exception& error) {
      return Error(err::kInternalError, std::string("内部错误：") + error.what());
    } catch (...) {
      return Error(err::kInternalError, "内部错误");
    }
  } catch (...) {
    static const Error out_of_memory(err::kOutOfMemory, "");
    return out_of_memory;
  }
}

}  // namespace platform
