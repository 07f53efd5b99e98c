#include "platform/runtime/variant.h"

#include <charconv>
#include <cmath>
#include <limits>
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

// Writes value as decimal digits, zero-padded to width, ending at end;
// returns where the text begins. Every number and date cell of every row
// is formatted, so no printf machinery here.
char* PutDigits(char* end, std::uint64_t value, int width = 1) {
  char* p = end;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (end - p < width) *--p = '0';
  return p;
}

// The "%.15G" form by way of the shortest round-trip digits, which are
// much cheaper to find than 15 exactly rounded ones. When those digits
// are 15 or fewer, rounding the value to 15 digits gives the same digits:
// the value lies within half a unit of its last binary place of them, far
// closer than any other 15-digit decimal (true of normal numbers, and
// only those with plain, exponent-free forms come here). Writes to out
// and returns the end, or nullptr when the value needs the exact path.
char* ShortestGeneral15(double value, char* out) {
  char digits[32];
  const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::scientific);
  if (result.ec != std::errc()) return nullptr;
  // "-d.ddde-XX": split into sign, digit string and decimal exponent.
  const char* p = digits;
  const bool negative = *p == '-';
  if (negative) ++p;
  char significant[20];
  int count = 0;
  for (; p != result.ptr && *p != 'e'; ++p) {
    if (*p == '.') continue;
    if (count == 15) return nullptr;
    significant[count++] = *p;
  }
  if (p == result.ptr) return nullptr;
  ++p;  // 'e'
  const bool exponent_negative = *p == '-';
  int exponent = 0;
  for (++p; p != result.ptr; ++p) exponent = exponent * 10 + (*p - '0');
  if (exponent_negative) exponent = -exponent;
  // "%G" writes exponents below -4 and from the precision up in E form.
  if (exponent < -4 || exponent >= 15) return nullptr;

  char* o = out;
  if (negative) *o++ = '-';
  if (exponent < 0) {
    *o++ = '0';
    *o++ = '.';
    for (int i = -1; i > exponent; --i) *o++ = '0';
    for (int i = 0; i < count; ++i) *o++ = significant[i];
    return o;
  }
  for (int i = 0; i <= exponent; ++i) *o++ = i < count ? significant[i] : '0';
  if (count > exponent + 1) {
    *o++ = '.';
    for (int i = exponent + 1; i < count; ++i) *o++ = significant[i];
  }
  return o;
}

// The exact "%.15G" form: to_chars with a precision rounds exactly as
// printf does, without its locale.
void AppendGeneral15(double value, std::string& out) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::general, 15);
  for (char* p = buffer; p != result.ptr; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
  out.append(buffer, result.ptr);
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
  char buffer[40];
  char* const end = buffer + sizeof buffer;
  const double magnitude = std::fabs(value);
  // Whole numbers of up to 15 digits print as they are (NaN fails here).
  if (magnitude < 1e15 && value == std::trunc(value)) {
    char* begin = PutDigits(end, static_cast<std::uint64_t>(magnitude));
    if (value < 0) *--begin = '-';
    out.append(begin, end);
    return;
  }
  // Subnormal numbers have fewer digits than they show.
  if (magnitude >= std::numeric_limits<double>::min() && std::isfinite(value)) {
    if (const char* text_end = ShortestGeneral15(value, buffer)) {
      out.append(buffer, static_cast<std::size_t>(text_end - buffer));
      return;
    }
  }
  AppendGeneral15(value, out);
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
  char buffer[40];
  char* const end = buffer + sizeof buffer;
  char* p = end;
  if (seconds != 0 || day == 0) {
    p = PutDigits(p, static_cast<std::uint64_t>(seconds % 60), 2);
    *--p = ':';
    p = PutDigits(p, static_cast<std::uint64_t>(seconds / 60 % 60), 2);
    *--p = ':';
    p = PutDigits(p, static_cast<std::uint64_t>(seconds / 3600), 2);
    if (day > 0) *--p = ' ';
  }
  if (day > 0) {
    // Years run from 1900 to 9999 here: always four digits, never negative.
    const CivilDate date = DateOfSerialDay(day);
    p = PutDigits(p, date.day, 2);
    *--p = '-';
    p = PutDigits(p, date.month, 2);
    *--p = '-';
    p = PutDigits(p, static_cast<std::uint64_t>(date.year), 4);
  }
  out.append(p, end);
}

}  // namespace platform
