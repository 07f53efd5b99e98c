#pragma once

#include <string>

namespace platform::data::sheet {

// Raises 1103 (kWorkbookDamaged) with "工作簿已损坏：" + what: the one way
// every workbook reader reports a broken structure.
[[noreturn]] void RaiseDamaged(const std::string& what);

}  // namespace platform::data::sheet
