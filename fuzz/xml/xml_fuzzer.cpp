// libFuzzer target for the XML scanner: the input (its last byte picks
// the size of the pieces it is read in) scanned to the end twice, token
// by token and with NextLeaf tried before every token. Any input must
// either scan or raise platform::Error, and both ways must give the same
// tokens (white space between elements aside) or the same error.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/data/xlsx/xml/xml_scanner.h"
#include "platform/runtime/error.h"

namespace {

using platform::data::xml::Scanner;
using platform::data::xml::Token;

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

void AppendStart(const Scanner& s, std::string& out) {
  out += '<';
  out += s.name();
  for (const auto& a : s.attributes()) {
    out += ' ';
    out += a.name;
    out += '=';
    out += a.value;
    out += '|';
    out += a.local_name;
  }
  out += '>';
}

// Texts joined; one of white space only is left out, as leaves skip it.
void FlushText(std::string& text, std::string& out) {
  if (text.find_first_not_of(" \t\n") != std::string::npos) out += "T(" + text + ")";
  text.clear();
}

std::string Trace(std::string_view bytes, std::size_t piece, bool leaves) {
  PieceInput input(bytes, piece);
  std::string out, text;
  try {
    Scanner s(input, "fuzz.xml");
    Scanner::Leaf leaf;
    for (;;) {
      if (leaves && s.NextLeaf(leaf)) {
        FlushText(text, out);
        AppendStart(s, out);
        if (!leaf.child.empty()) {
          const std::string child(leaf.child);
          out += "<" + child + ">";
          text = leaf.text;
          FlushText(text, out);
          out += "</" + child + "|" + child + ">";
        }
        out += "</" + std::string(leaf.name) + "|" + std::string(leaf.name) + ">";
        continue;
      }
      const Token t = s.Next();
      if (t != Token::kText) FlushText(text, out);
      if (t == Token::kEndOfDocument) return out;
      if (t == Token::kText) text += s.text();
      if (t == Token::kStartElement) AppendStart(s, out);
      if (t == Token::kEndElement) out += "</" + std::string(s.name()) + "|" + std::string(s.local_name()) + ">";
    }
  } catch (const platform::Error& e) {
    return out + "!" + e.description();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + static_cast<std::size_t>(data[size - 1]) * 37;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size - 1);
  const std::string tokens = Trace(bytes, piece, false);
  if (tokens != Trace(bytes, piece, true)) __builtin_trap();
  return 0;
}
