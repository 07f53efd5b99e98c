#pragma once

#include <cstddef>
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
  // A copy holds its own text, also when the original views text held
  // elsewhere (see SetTextView).
  Variant(const Variant& other);
  Variant& operator=(const Variant& other);
  Variant(Variant&& other);
  Variant& operator=(Variant&& other);
  ~Variant() = default;
  static Variant Null() { return Variant(); }
  static Variant Text(std::string text);
  static Variant Number(double value);
  static Variant Date(double serial);
  static Variant Boolean(bool value);

  // Setters reuse the text buffer, so a row cursor can refill one
  // Variant per cell without allocating.
  void SetNull() { kind_ = Kind::kNull; }
  void SetText(std::string_view text);
  // Text that stays where it is, not copied: a row cursor shows a
  // workbook's strings so. The bytes must stay unchanged until this
  // Variant is set again or destroyed.
  void SetTextView(std::string_view text);
  void SetNumber(double value);
  void SetDate(double serial);
  void SetBoolean(bool value);

  Kind kind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::kNull; }
  std::string_view text() const { return view_; }     // kText only
  double number() const { return number_; }           // kNumber, kDate
  bool boolean() const { return number_ != 0; }       // kBoolean

  // The standard text form: text unchanged; numbers as "%.15G" in the C
  // locale; dates as "YYYY-MM-DD", "HH:MM:SS" or both; booleans as
  // "True"/"False"; null as "".
  std::string ToText() const;
  void AppendText(std::string& out) const;
  // Room for the text form of any number, date or True/False.
  using TextBuffer = char[64];
  // The text form without a copy: a text's own bytes, or the form written
  // into buffer. Valid while both stay unchanged.
  std::string_view TextIn(TextBuffer& buffer) const;

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  // Takes other's value; the text is copied unless other owns it and
  // may give it up.
  void Take(const Variant& other, std::string* movable_text);

  Kind kind_ = Kind::kNull;
  double number_ = 0;
  std::string text_;
  std::string_view view_;  // the text: text_, or bytes held elsewhere
};

// The text forms on their own, for callers holding plain values, and
// their lengths (to size a field without keeping the text).
void AppendNumberText(double value, std::string& out);
void AppendDateText(double serial, std::string& out);
std::size_t NumberTextLength(double value);
std::size_t DateTextLength(double serial);

}  // namespace platform
