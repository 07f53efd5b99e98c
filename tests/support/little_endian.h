#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace testing_support {

// The unsigned little-endian number of `width` bytes (1 to 4) at
// bytes[at], as dBase and BIFF files store them.
inline std::uint32_t LittleEndian(std::string_view bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

}  // namespace testing_support
