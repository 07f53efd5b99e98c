#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// A cell value as the data-access layer delivers it. Text is UTF-8.
// Dates are serials of the 1900 date system (readers convert 1904 serials
// before they get here).
class Variant {
 public:
  enum class Kind : std::uint8_t { kNull, kText, kNumber, kDate, kBoolean };

  Variant() = default;
  static Variant Null() { return Variant(); }
  static Variant Text(std::string text);
  static Variant Number(double value);
  static Variant Date(double serial);
  static Variant Boolean(bool value);

  // Setters reuse the text buffer, so a row cursor can refill one
  // Variant per cell without allocating.
  void SetNull() { kind_ = Kind::kNull; }
  void SetText(std::string_view text);
  void SetNumber(double value);
  void SetDate(double serial);
  void SetBoolean(bool value);

  Kind kind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::kNull; }
  const std::string& text() const { return text_; }   // kText only
  double number() const { return number_; }           // kNumber, kDate
  bool boolean() const { return number_ != 0; }       // kBoolean

  // The standard text form: text unchanged; numbers as "%.15G" in the C
  // locale; dates as "YYYY-MM-DD", "HH:MM:SS" or both; booleans as
  // "True"/"False"; null as "".
  std::string ToText() const;
  void AppendText(std::string& out) const;

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  Kind kind_ = Kind::kNull;
  double number_ = 0;
  std::string text_;
};

// The text forms on their own, for callers holding plain values.
void AppendNumberText(double value, std::string& out);
void AppendDateText(double serial, std::string& out);

}  // namespace platform
