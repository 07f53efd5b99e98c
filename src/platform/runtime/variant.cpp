#include "platform/runtime/variant.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace platform {
namespace {

// 9999-12-31 in the 1900 date system; later serials have no date form.
constexpr std::int64_t kLastSerialDay = 2958465;
constexpr std::int64_t kSecondsPerDay = 86400;

struct CivilDate {
  unsigned year;
  unsigned month;
  unsigned day;
};

// Days since 0000-03-01 (at least 0) to a proleptic Gregorian date
// (H. Hinnant's algorithm): arithmetic, so any serial costs the same, and
// in 32 bits, which the serials' days fit.
CivilDate CivilFromDays(std::uint32_t z) {
  const std::uint32_t era = z / 146097;
  const std::uint32_t doe = z - era * 146097;
  const std::uint32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::uint32_t y = yoe + era * 400;
  const std::uint32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::uint32_t mp = (5 * doy + 2) / 153;
  const std::uint32_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::uint32_t m = mp < 10 ? mp + 3 : mp - 9;
  return {y + (m <= 2 ? 1 : 0), m, d};
}

// The workbook's day numbering keeps the phantom 1900-02-29 (serial 60):
// serials 1..59 are one day later than the real calendar would make them.
// day runs from 1 to kLastSerialDay.
CivilDate DateOfSerialDay(std::int64_t day) {
  if (day == 60) return {1900, 2, 29};
  // Serial 61 is 1900-03-01; 1899-12-30 is day 693899 from 0000-03-01.
  constexpr std::int64_t kEpoch = 693899;
  const std::int64_t offset = day < 60 ? day + kEpoch + 1 : day + kEpoch;
  return CivilFromDays(static_cast<std::uint32_t>(offset));
}

// Whether a value below 1e15 in magnitude is whole. The casts are one
// instruction each; std::trunc is a call or a long sequence on processors
// without SSE4.1, and this runs for every number written.
bool IsWholeBelow1e15(double value) {
  return static_cast<double>(static_cast<std::int64_t>(value)) == value;
}

// The nearest whole number to x >= 0 below 2^52, halves away from zero
// (as std::llround, which is a library call). x minus its whole part is
// exact at these magnitudes, so the comparison with 0.5 is too.
std::int64_t RoundNonNegative(double x) {
  const auto whole = static_cast<std::int64_t>(x);
  return x - static_cast<double>(whole) >= 0.5 ? whole + 1 : whole;
}

// "00" to "99": two digits a step, half the divisions. Every number and
// date cell of every row is formatted, so no printf machinery here.
constexpr auto kPairs = [] {
  std::array<char, 200> pairs{};
  for (std::size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// The two digits of value (below 100) at p.
void PutPair(char* p, unsigned value) { std::memcpy(p, &kPairs[2 * value], 2); }

// Writes value as decimal digits ending at end; returns where they begin.
// 32-bit steps where the value allows: cheaper than 64-bit ones.
char* PutDigits32(char* end, std::uint32_t value) {
  char* p = end;
  while (value >= 100) {
    p -= 2;
    PutPair(p, value % 100);
    value /= 100;
  }
  if (value >= 10) {
    p -= 2;
    PutPair(p, value);
  } else {
    *--p = static_cast<char>('0' + value);
  }
  return p;
}

// Exactly eight digits of value (below 10^8) ending at end.
char* PutEightDigits(char* end, std::uint32_t value) {
  char* p = end;
  for (int i = 0; i < 4; ++i) {
    p -= 2;
    PutPair(p, value % 100);
    value /= 100;
  }
  return p;
}

// Writes value as decimal digits ending at end; returns where they begin.
char* PutDigits(char* end, std::uint64_t value) {
  constexpr std::uint64_t kEight = 100000000;
  char* p = end;
  while (value > UINT32_MAX) {
    p = PutEightDigits(p, static_cast<std::uint32_t>(value % kEight));
    value /= kEight;
  }
  return PutDigits32(p, static_cast<std::uint32_t>(value));
}

// Decimals as sheets hold them, with a few places: when value * 10^k
// rounds to a whole number m below 1e15, m / 10^k lies within m * 2^-53 of
// the value, far inside half a step of 15-digit decimals, so it is the
// value rounded to 15 digits, and its "%.15G" text (values from 1e-4 up
// print without an exponent) is m's digits with a point k places from the
// right. Finds m and k (trailing zeros dropped, as "%G" does), or false.
struct ScaledDigits {
  std::uint64_t digits;
  int places;
};

bool FindScaledDecimal(double value, ScaledDigits& out) {
  constexpr double kScales[] = {1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  const double magnitude = std::fabs(value);
  if (!(magnitude >= 1e-4)) return false;
  for (int places = 1; places <= 6; ++places) {
    const double scaled = magnitude * kScales[places - 1];
    if (scaled >= 1e15) return false;
    if (!IsWholeBelow1e15(scaled)) continue;
    auto m = static_cast<std::uint64_t>(scaled);
    while (places > 0 && m % 10 == 0) {
      m /= 10;
      --places;
    }
    out = {m, places};
    return true;
  }
  return false;
}

// The decimal digits of a value below 10^15.
std::size_t DigitCount(std::uint64_t value) {
  // Compared with powers of ten rather than divided by ten.
  static constexpr std::uint64_t kPowers[] = {10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL,
                                              10000000ULL, 100000000ULL, 1000000000ULL, 10000000000ULL,
                                              100000000000ULL, 1000000000000ULL, 10000000000000ULL,
                                              100000000000000ULL};
  std::size_t digits = 1;
  while (digits <= std::size(kPowers) && value >= kPowers[digits - 1]) ++digits;
  return digits;
}

// Writes the text FindScaledDecimal found ending at end; returns where it
// begins.
char* PutScaledDecimal(double value, ScaledDigits scaled, char* end) {
  std::uint64_t m = scaled.digits;
  char* p = end;
  if (scaled.places > 0) {
    for (int i = 0; i < scaled.places; ++i, m /= 10) *--p = static_cast<char>('0' + m % 10);
    *--p = '.';
  }
  p = PutDigits(p, m);
  if (value < 0) *--p = '-';
  return p;
}

// Its length, without writing it: "0.05" has one whole digit for m = 5.
std::size_t ScaledDecimalLength(double value, ScaledDigits scaled) {
  const auto places = static_cast<std::size_t>(scaled.places);
  const std::size_t whole = std::max<std::size_t>(DigitCount(scaled.digits), places + 1) - places;
  return (value < 0 ? 1 : 0) + whole + (places > 0 ? 1 + places : 0);
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

// Room for any number's or date's text form.
using TextBuffer = Variant::TextBuffer;
constexpr std::size_t kTextBufferSize = sizeof(TextBuffer);

// The "%.15G" text of value, written into buffer.
std::string_view NumberText(double value, TextBuffer& buffer) {
  if (value == 0) return "0";  // also -0, which would print as "-0"
  char* const end = buffer + kTextBufferSize;
  const double magnitude = std::fabs(value);
  // Whole numbers of up to 15 digits print as they are (NaN fails here).
  if (magnitude < 1e15 && IsWholeBelow1e15(value)) {
    char* begin = PutDigits(end, static_cast<std::uint64_t>(magnitude));
    if (value < 0) *--begin = '-';
    return std::string_view(begin, static_cast<std::size_t>(end - begin));
  }
  // Subnormal numbers have fewer digits than they show.
  if (ScaledDigits scaled; FindScaledDecimal(value, scaled)) {
    const char* begin = PutScaledDecimal(value, scaled, end);
    return std::string_view(begin, static_cast<std::size_t>(end - begin));
  }
  if (magnitude >= std::numeric_limits<double>::min() && std::isfinite(value)) {
    if (const char* text_end = ShortestGeneral15(value, buffer)) {
      return std::string_view(buffer, static_cast<std::size_t>(text_end - buffer));
    }
  }
  // The exact form: to_chars with a precision rounds exactly as printf
  // does, without its locale.
  const auto result = std::to_chars(buffer, end, value, std::chars_format::general, 15);
  for (char* p = buffer; p != result.ptr; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
  return std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

// "YYYY-MM-DD" ending at end (years run from 1900 to 9999 here: always
// four digits, never negative); returns where it begins.
char* PutDate(char* end, std::int64_t day) {
  const CivilDate date = DateOfSerialDay(day);
  char* p = end - 10;
  PutPair(p, date.year / 100);
  PutPair(p + 2, date.year % 100);
  p[4] = '-';
  PutPair(p + 5, date.month);
  p[7] = '-';
  PutPair(p + 8, date.day);
  return p;
}

// "HH:MM:SS" ending at end.
char* PutTime(char* end, std::int64_t seconds) {
  char* p = end - 8;
  const auto s = static_cast<unsigned>(seconds);
  PutPair(p, s / 3600);
  p[2] = ':';
  PutPair(p + 3, s / 60 % 60);
  p[5] = ':';
  PutPair(p + 6, s % 60);
  return p;
}

std::string_view DateText(double serial, TextBuffer& buffer) {
  if (!(serial >= 0) || serial >= static_cast<double>(kLastSerialDay + 1)) {
    return NumberText(serial, buffer);
  }
  char* const end = buffer + kTextBufferSize;
  // Whole days, most dates in sheets, need no rounding.
  if (serial >= 1 && IsWholeBelow1e15(serial)) {
    const char* p = PutDate(end, static_cast<std::int64_t>(serial));
    return std::string_view(p, static_cast<std::size_t>(end - p));
  }
  // Round to the second first, so 23:59:59.7 carries into the next day
  // instead of printing 24:00:00.
  const std::int64_t total = RoundNonNegative(serial * kSecondsPerDay);
  const std::int64_t day = total / kSecondsPerDay;
  const std::int64_t seconds = total % kSecondsPerDay;
  if (day > kLastSerialDay) return NumberText(serial, buffer);
  char* p = end;
  if (seconds != 0 || day == 0) {
    p = PutTime(p, seconds);
    if (day > 0) *--p = ' ';
  }
  if (day > 0) p = PutDate(p, day);
  return std::string_view(p, static_cast<std::size_t>(end - p));
}

}  // namespace

Variant::Variant(const Variant& other) { Take(other, nullptr); }

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) Take(other, nullptr);
  return *this;
}

Variant::Variant(Variant&& other) {
  Take(other, &other.text_);
  other.view_ = other.text_;
}

Variant& Variant::operator=(Variant&& other) {
  if (this != &other) {
    Take(other, &other.text_);
    other.view_ = other.text_;
  }
  return *this;
}

void Variant::Take(const Variant& other, std::string* movable_text) {
  kind_ = other.kind_;
  number_ = other.number_;
  if (kind_ != Kind::kText) return;
  if (movable_text != nullptr && other.view_.data() == movable_text->data()) {
    text_ = std::move(*movable_text);
  } else {
    text_.assign(other.view_);
  }
  view_ = text_;
}

Variant Variant::Text(std::string text) {
  Variant v;
  v.kind_ = Kind::kText;
  v.text_ = std::move(text);
  v.view_ = v.text_;
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
  view_ = text_;
}

void Variant::SetTextView(std::string_view text) {
  kind_ = Kind::kText;
  view_ = text;
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
      out += view_;
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

std::string_view Variant::TextIn(TextBuffer& buffer) const {
  switch (kind_) {
    case Kind::kNull:
      return {};
    case Kind::kText:
      return view_;
    case Kind::kNumber:
      return NumberText(number_, buffer);
    case Kind::kDate:
      return DateText(number_, buffer);
    case Kind::kBoolean:
      return number_ != 0 ? "True" : "False";
  }
  return {};
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case Variant::Kind::kNull:
      return true;
    case Variant::Kind::kText:
      return a.view_ == b.view_;
    default:
      return a.number_ == b.number_ ||
             (std::isnan(a.number_) && std::isnan(b.number_));
  }
}

void AppendNumberText(double value, std::string& out) {
  TextBuffer buffer;
  out.append(NumberText(value, buffer));
}

void AppendDateText(double serial, std::string& out) {
  TextBuffer buffer;
  out.append(DateText(serial, buffer));
}

std::size_t NumberTextLength(double value) {
  // Whole numbers (the common case) by their digit count alone.
  const double magnitude = std::fabs(value);
  if (value != 0 && magnitude < 1e15 && IsWholeBelow1e15(value)) {
    return DigitCount(static_cast<std::uint64_t>(magnitude)) + (value < 0 ? 1 : 0);
  }
  // Short decimals (most in sheets) by their digits alone too.
  if (ScaledDigits scaled; FindScaledDecimal(value, scaled)) return ScaledDecimalLength(value, scaled);
  TextBuffer buffer;
  return NumberText(value, buffer).size();
}

std::size_t DateTextLength(double serial) {
  if (!(serial >= 0) || serial >= static_cast<double>(kLastSerialDay + 1)) {
    return NumberTextLength(serial);
  }
  const std::int64_t total = RoundNonNegative(serial * kSecondsPerDay);
  const std::int64_t day = total / kSecondsPerDay;
  if (day > kLastSerialDay) return NumberTextLength(serial);
  // "YYYY-MM-DD", "HH:MM:SS" or both, as DateText writes them.
  constexpr std::size_t kDate = 10, kTime = 8;
  if (day == 0) return kTime;
  return total % kSecondsPerDay == 0 ? kDate : kDate + 1 + kTime;
}

}  // namespace platform
