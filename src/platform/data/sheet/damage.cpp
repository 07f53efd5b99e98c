#include "platform/data/sheet/damage.h"

#include "platform/runtime/error.h"

namespace platform::data::sheet {

void RaiseDamaged(const std::string& what) { Raise(err::kWorkbookDamaged, "工作簿已损坏：" + what); }

}  // namespace platform::data::sheet
