#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::data::dbase {

// A column name as it goes into the table.
struct FieldName {
  std::string bytes;           // code page 936, 1 to 10 bytes
  bool shortened = false;      // cut to fit 10 bytes
  bool numbered = false;       // made unique with "_2", "_3", ...
  std::size_t four_byte = 0;   // characters written in four-byte GB18030 form
};

// Turns UTF-8 column names into dBase field names: each in code page 936,
// cut to 10 bytes without splitting a character; a name equal to an
// earlier field's name, ignoring ASCII case, becomes the shortest cut of
// it plus "_2", "_3", ... that fits 10 bytes and is unique. Raises 1207 for
// an empty name or one holding NUL, 1205 for more than 255 names.
std::vector<FieldName> MakeFieldNames(std::span<const std::string> utf8_names);

// The key under which two field names count as equal: ASCII letters
// folded to lower case, double-byte characters (whose trail byte may look
// like a letter) left alone.
std::string FieldNameKey(std::string_view cp936_name);

}  // namespace platform::data::dbase
