#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/data/provider.h"
#include "platform/data/sheet/cell_scan.h"
#include "platform/data/sheet/sheet_cells.h"

// Cells written down as data for the sheet layer's tests, handed to a
// SheetCellsBuilder in the order given, as a reader would.
namespace sheet_test {

struct Cell {
  std::uint32_t row;
  std::uint32_t column;
  char kind;  // 'n' number, 'd' date, 'b' boolean, 't' copied text, 's' shared string index
  double number = 0;
  std::string text;
};

Cell N(std::uint32_t row, std::uint32_t column, double value);
Cell D(std::uint32_t row, std::uint32_t column, double serial);
Cell B(std::uint32_t row, std::uint32_t column, bool value);
Cell T(std::uint32_t row, std::uint32_t column, std::string text);
Cell S(std::uint32_t row, std::uint32_t column, std::uint32_t index);

// The shared strings, then every cell through the builder.
platform::data::sheet::SheetCells Build(const std::vector<Cell>& cells, const std::vector<std::string>& shared = {},
                                        platform::data::sheet::SheetLimits limits = {});

// Hands the cells over one at each Next, in the order given, as a reader
// reads them (copied texts from a buffer that dies after the call).
class MemoryScan : public platform::data::sheet::SheetScan {
 public:
  explicit MemoryScan(const std::vector<Cell>& cells) : cells_(cells) {}  // cells must outlive the scan
  bool Next(platform::data::sheet::CellSink& sink) override;

 private:
  const std::vector<Cell>& cells_;
  std::size_t next_ = 0;
};

// Every row of a table as "value|value|", null as "-".
std::vector<std::string> RowsOf(const platform::data::RowSource& table);

}  // namespace sheet_test
