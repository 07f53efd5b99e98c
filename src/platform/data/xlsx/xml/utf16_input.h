#pragma once

#include <memory>
#include <string>

#include "platform/data/xlsx/xml/xml_scanner.h"

namespace platform::data::xml {

// The UTF-16 bytes of pending, then of raw, as UTF-8. Raises
// kWorkbookDamaged, naming part, for an odd byte count or a surrogate
// without its partner. raw must outlive the result.
std::unique_ptr<Input> MakeUtf16Input(Input& raw, std::string pending, bool big_endian, const std::string& part);

}  // namespace platform::data::xml
