#pragma once

#include <string>

namespace platform::data {
class Connection;
}

namespace frmexcel {

// The sheet a run reads, without apostrophes, as the select statement names
// it. An empty choice takes the first table the workbook lists ("" when it
// lists none). Otherwise the choice is a sheet's name (apostrophes ignored,
// ASCII case too) or, when no name matches, its 1-based number in the list:
// visible worksheets in workbook order, then hidden ones. A choice that is
// neither raises 1104, naming the sheets there are.
std::string ChooseSheet(platform::data::Connection& source, const std::string& choice);

}  // namespace frmexcel
