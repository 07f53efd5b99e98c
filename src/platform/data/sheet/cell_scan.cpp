#include "platform/data/sheet/cell_scan.h"

namespace platform::data::sheet {

SheetCells ReadAllCells(SheetScan& scan, std::shared_ptr<const StringTable> shared_strings, SheetLimits limits) {
  SheetCellsBuilder builder(std::move(shared_strings), limits);
  BuilderSink sink(builder);
  while (scan.Next(sink)) {
  }
  return builder.Finish();
}

}  // namespace platform::data::sheet
