// The shape every double-byte code page table of this folder shares: lead
// bytes 0x81-0xFE, trail bytes 0x40-0xFE, one cell per pair.
#pragma once

#include <cstddef>

namespace platform::codepage::double_byte {

inline constexpr char32_t kReplacement = 0xFFFD;
inline constexpr unsigned kLeadFirst = 0x81;
inline constexpr unsigned kLeadLast = 0xFE;
inline constexpr unsigned kTrailFirst = 0x40;
inline constexpr unsigned kTrailLast = 0xFE;
inline constexpr unsigned kTrailCount = kTrailLast - kTrailFirst + 1;

constexpr std::size_t Cell(unsigned lead, unsigned trail) {
  return (lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst);
}

}  // namespace platform::codepage::double_byte
