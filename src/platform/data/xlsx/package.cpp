#include "platform/data/xlsx/package.h"

#include "platform/data/sheet/damage.h"
#include "platform/data/zip/read_ahead.h"

namespace platform::data::xlsx {
namespace {

// Parts at least this large are inflated on a thread of their own while
// they are scanned; for smaller ones starting it costs more than it saves.
constexpr std::uint64_t kReadAheadSize = 256 << 10;

}  // namespace

class PartScanner::EntryInput : public xml::Input {
 public:
  explicit EntryInput(std::unique_ptr<zip::EntryReader> reader) : reader_(std::move(reader)) {}
  std::size_t Read(char* out, std::size_t n) override { return reader_->Read(out, n); }

 private:
  std::unique_ptr<zip::EntryReader> reader_;
};

PartScanner::PartScanner(const zip::ZipArchive& zip, const std::string& part) {
  const zip::Entry* entry = zip.Find(part);
  if (entry == nullptr) sheet::RaiseDamaged("找不到 " + zip::PrintableName(part));
  std::unique_ptr<zip::EntryReader> reader = zip.Open(*entry);
  if (entry->size >= kReadAheadSize) reader = zip::ReadAhead(std::move(reader));
  input_ = std::make_unique<EntryInput>(std::move(reader));
  scanner_ = std::make_unique<xml::Scanner>(*input_, zip::PrintableName(part));
}

PartScanner::~PartScanner() = default;

std::string RelationshipsPartOf(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  const std::string_view folder = slash == std::string_view::npos ? std::string_view() : part.substr(0, slash + 1);
  const std::string_view name = slash == std::string_view::npos ? part : part.substr(slash + 1);
  return std::string(folder) + "_rels/" + std::string(name) + ".rels";
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i] == '\\' ? '/' : text[i];
    }
  }
  return out;
}

}  // namespace

std::string ResolveTarget(std::string_view source_part, std::string_view target) {
  target = target.substr(0, target.find('#'));
  if (target.find("://") != std::string_view::npos) return "";
  std::string path = PercentDecoded(target);
  if (path.empty() || path.front() != '/') {
    const std::size_t slash = source_part.rfind('/');
    path = std::string(slash == std::string_view::npos ? std::string_view() : source_part.substr(0, slash + 1)) + path;
  }
  std::vector<std::string_view> segments;
  std::string_view rest = path;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view segment = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (segments.empty()) return "";
      segments.pop_back();
    } else {
      segments.push_back(segment);
    }
  }
  std::string out;
  for (const std::string_view segment : segments) {
    if (!out.empty()) out += '/';
    out += segment;
  }
  return out;
}

std::vector<Relationship> ReadRelationships(const zip::ZipArchive& zip, std::string_view source_part) {
  const std::string part = source_part.empty() ? "_rels/.rels" : RelationshipsPartOf(source_part);
  std::vector<Relationship> out;
  if (zip.Find(part) == nullptr) return out;
  PartScanner part_scanner(zip, part);
  xml::Scanner& s = part_scanner.scanner();
  for (xml::Token t = s.Next(); t != xml::Token::kEndOfDocument; t = s.Next()) {
    if (t != xml::Token::kStartElement || s.depth() != 2 || s.local_name() != "Relationship") continue;
    const std::string_view* id = s.Find("Id");
    const std::string_view* type = s.Find("Type");
    const std::string_view* target = s.Find("Target");
    const std::string_view* mode = s.Find("TargetMode");
    if (id == nullptr || type == nullptr || target == nullptr) continue;
    Relationship r;
    r.id = std::string(*id);
    const std::size_t slash = type->rfind('/');
    r.type = std::string(slash == std::string_view::npos ? *type : type->substr(slash + 1));
    if (mode == nullptr || *mode != "External") r.target = ResolveTarget(source_part, *target);
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace platform::data::xlsx
