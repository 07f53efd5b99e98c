// libFuzzer target for the XML scanner: the input (its last byte picks
// the size of the pieces it is read in) scanned to the end. Any input
// must either scan or raise platform::Error.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/data/xlsx/xml/xml_scanner.h"
#include "platform/runtime/error.h"

namespace {

class PieceInput : public platform::data::xml::Input {
 public:
  PieceInput(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  std::size_t Read(char* out, std::size_t n) override {
    n = std::min({n, bytes_.size(), piece_});
    std::memcpy(out, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view bytes_;
  std::size_t piece_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using platform::data::xml::Token;
  if (size == 0) return 0;
  const std::size_t piece = 1 + static_cast<std::size_t>(data[size - 1]) * 37;
  PieceInput input(std::string_view(reinterpret_cast<const char*>(data), size - 1), piece);
  try {
    platform::data::xml::Scanner scanner(input, "fuzz.xml");
    std::size_t seen = 0;
    for (Token t = scanner.Next(); t != Token::kEndOfDocument; t = scanner.Next()) {
      // Touch every view, so the sanitizers see a stale one.
      seen += scanner.name().size() + scanner.local_name().size() + scanner.text().size();
      for (const auto& a : scanner.attributes()) seen += a.name.size() + a.local_name.size() + a.value.size();
      if (t == Token::kStartElement && scanner.Find("r") != nullptr) ++seen;
    }
    if (seen == SIZE_MAX) __builtin_trap();
  } catch (const platform::Error&) {
  }
  return 0;
}
