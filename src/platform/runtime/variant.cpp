#include "platform/runtime/variant.h"

#include <charconv>
#include <cmath>
#include <utility>

namespace platform {
namespace {

// 9999-12-31 in the 1900 date system; later serials have no date form.
constexpr std::int64_t kLastSerialDay = 2958465;
constexpr std::int64_t kSecondsPerDay = 86400;

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's
// algorithm): arithmetic, so any serial costs the same.
CivilDate CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {y + (m <= 2), m, d};
}

// The workbook's day numbering keeps the phantom 1900-02-29 (serial 60):
// serials 1..59 are one day later than the real calendar would make them.
CivilDate DateOfSerialDay(std::int64_t day) {
  if (day == 60) return {1900, 2, 29};
  // Serial 61 is 1900-03-01; 1899-12-30 is day -25569 from 1970-01-01.
  const std::int64_t offset = day < 60 ? day - 25568 : day - 25569;
  return CivilFromDays(offset);
}

// Zero-padded decimal; dates are formatted for every date cell, so no
// printf machinery here.
void AppendPadded(std::string& out, std::int64_t value, int width) {
  char buffer[24];
  char* end = buffer + sizeof buffer;
  char* p = end;
  const bool negative = value < 0;
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (end - p < width) *--p = '0';
  if (negative) out += '-';
  out.append(p, end);
}

}  // namespace

Variant Variant::Text(std::string text) {
  Variant v;
  v.kind_ = Kind::kText;
  v.text_ = std::move(text);
  return v;
}

Variant Variant::Number(double value) {
  Variant v;
  v.SetNumber(value);
  return v;
}

Variant Variant::Date(double serial) {
  Variant v;
  v.SetDate(serial);
  return v;
}

Variant Variant::Boolean(bool value) {
  Variant v;
  v.SetBoolean(value);
  return v;
}

void Variant::SetText(std::string_view text) {
  kind_ = Kind::kText;
  text_.assign(text);
}

void Variant::SetNumber(double value) {
  kind_ = Kind::kNumber;
  number_ = value;
}

void Variant::SetDate(double serial) {
  kind_ = Kind::kDate;
  number_ = serial;
}

void Variant::SetBoolean(bool value) {
  kind_ = Kind::kBoolean;
  number_ = value ? 1 : 0;
}

std::string Variant::ToText() const {
  std::string out;
  AppendText(out);
  return out;
}

void Variant::AppendText(std::string& out) const {
  switch (kind_) {
    case Kind::kNull:
      return;
    case Kind::kText:
      out += text_;
      return;
    case Kind::kNumber:
      AppendNumberText(number_, out);
      return;
    case Kind::kDate:
      AppendDateText(number_, out);
      return;
    case Kind::kBoolean:
      out += number_ != 0 ? "True" : "False";
      return;
  }
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case Variant::Kind::kNull:
      return true;
    case Variant::Kind::kText:
      return a.text_ == b.text_;
    default:
      return a.number_ == b.number_ ||
             (std::isnan(a.number_) && std::isnan(b.number_));
  }
}

void AppendNumberText(double value, std::string& out) {
  if (value == 0) {  // also -0, which would print as "-0"
    out += '0';
    return;
  }
  // to_chars is locale-independent and, with a precision, exactly
  // printf's "%.15g"; the window's locale must not turn '.' into ','.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::general, 15);
  for (char* p = buffer; p != result.ptr; ++p) {
    const char c = *p;
    out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
}

void AppendDateText(double serial, std::string& out) {
  if (!(serial >= 0) || serial >= static_cast<double>(kLastSerialDay + 1)) {
    AppendNumberText(serial, out);
    return;
  }
  // Round to the second first, so 23:59:59.7 carries into the next day
  // instead of printing 24:00:00.
  const auto total =
      static_cast<std::int64_t>(std::llround(serial * kSecondsPerDay));
  const std::int64_t day = total / kSecondsPerDay;
  const std::int64_t seconds = total % kSecondsPerDay;
  if (day > kLastSerialDay) {
    AppendNumberText(serial, out);
    return;
  }
  if (day > 0) {
    const CivilDate date = DateOfSerialDay(day);
    AppendPadded(out, date.year, 4);
    out += '-';
    AppendPadded(out, date.month, 2);
    out += '-';
    AppendPadded(out, date.day, 2);
    if (seconds == 0) return;
    out += ' ';
  }
  AppendPadded(out, seconds / 3600, 2);
  out += ':';
  AppendPadded(out, seconds / 60 % 60, 2);
  out += ':';
  AppendPadded(out, seconds % 60, 2);
}

}  // namespace platform
