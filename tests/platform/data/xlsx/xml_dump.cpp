// Prints the tokens of XML documents, one line each, for comparison with
// a real XML parser (xml_corpus.py):
//   == path
//   S name / A name "value" / T "text" (pieces joined) / E name
//   !! description        (the document is refused)
#include <cstdio>
#include <string>

#include "platform/data/xlsx/xml/xml_scanner.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"

namespace {

std::string Json(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
      out += buffer;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Reads a file through RandomAccessFile in pieces.
class FileInput : public platform::data::xml::Input {
 public:
  explicit FileInput(const platform::RandomAccessFile& file) : file_(file) {}
  std::size_t Read(char* out, std::size_t n) override {
    const std::size_t got = file_.Read(offset_, n, out);
    offset_ += got;
    return got;
  }

 private:
  const platform::RandomAccessFile& file_;
  std::uint64_t offset_ = 0;
};

std::string Dump(const char* path) {
  using platform::data::xml::Token;
  const auto file = platform::RealFileSystem().OpenForRead(path);
  FileInput input(*file);
  platform::data::xml::Scanner scanner(input, path);
  std::string out, text;
  for (;;) {
    const Token token = scanner.Next();
    if (token != Token::kText && !text.empty()) {
      out += "T " + Json(text) + "\n";
      text.clear();
    }
    if (token == Token::kEndOfDocument) return out;
    if (token == Token::kText) {
      text += scanner.text();
    } else if (token == Token::kStartElement) {
      out += "S " + std::string(scanner.name()) + "\n";
      for (const auto& a : scanner.attributes()) out += "A " + std::string(a.name) + " " + Json(a.value) + "\n";
    } else {
      out += "E " + std::string(scanner.name()) + "\n";
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string out = "== " + std::string(argv[i]) + "\n";
    try {
      out += Dump(argv[i]);
    } catch (const platform::Error& e) {
      out += "!! " + e.description() + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  return 0;
}
