#pragma once

#include <string_view>

// Which numbers are dates: a workbook stores a date as a number of days
// and says by the cell's number format that it shows a date or time.
namespace platform::data::sheet {

// Days from day zero of the 1900 date system to day zero of the 1904
// system: a reader of a 1904 workbook adds them to its date serials.
inline constexpr double k1904DateOffset = 1462;

// True for the built-in number formats that show dates or times (14-22,
// 27-36, 45-47, 50-58).
bool IsBuiltInDateFormat(int index);

// True when a format code shows a date or time: outside quoted text,
// [...] sections and escaped characters (\x, _x, *x) it holds y, m, d, h
// or s. "[h]:mm" is a time, "0.00\h" and "0 \"days\"" are not.
bool IsDateFormatCode(std::string_view code);

}  // namespace platform::data::sheet
