#include "platform/data/sheet/date_format.h"

namespace platform::data::sheet {
namespace {

bool IsDatePart(char c) {
  switch (c) {
    case 'y': case 'Y': case 'm': case 'M': case 'd': case 'D':
    case 'h': case 'H': case 's': case 'S':
      return true;
    default:
      return false;
  }
}

}  // namespace

bool IsBuiltInDateFormat(int index) {
  return (index >= 14 && index <= 22) || (index >= 27 && index <= 36) || (index >= 45 && index <= 47) ||
         (index >= 50 && index <= 58);
}

bool IsDateFormatCode(std::string_view code) {
  bool quoted = false;
  bool bracketed = false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (quoted) {
      quoted = c != '"';
    } else if (bracketed) {
      bracketed = c != ']';
    } else if (c == '"') {
      quoted = true;
    } else if (c == '[') {
      bracketed = true;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;  // the next character is shown as it is
    } else if (IsDatePart(c)) {
      return true;
    }
  }
  return false;
}

}  // namespace platform::data::sheet
