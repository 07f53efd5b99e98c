#pragma once

#include <cstddef>

namespace platform {

// Asks the operating system to back the whole 2 MiB stretches inside
// [data, data + bytes) with large pages when they are first written: a
// workbook's cells and strings fill tens of MiB, and faulting them in 4 KiB
// at a time costs more than filling them. Only a hint: the memory, its
// contents and its owner stay as they are; where there is no such thing,
// nothing happens. Call it on a buffer just reserved, before writing.
void PreferLargePages(const void* data, std::size_t bytes) noexcept;

}  // namespace platform
