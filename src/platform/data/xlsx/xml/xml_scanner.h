#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A pull scanner for the XML that Office Open XML parts are written in:
// elements (prefixes kept, matched by local name), attributes, text with
// the predefined and numeric entities, CDATA; comments and processing
// instructions skipped. A DOCTYPE is refused (no entity is ever expanded),
// and so is anything that is not well-formed. It works on its input piece
// by piece: memory stays the same whatever the size of the document.
namespace platform::data::xml {

// Bytes read in order (an inflated ZIP entry, a string in tests).
class Input {
 public:
  virtual ~Input() = default;
  // Reads up to n (> 0) bytes into out; returns how many, 0 only at the
  // end. May raise platform::Error.
  virtual std::size_t Read(char* out, std::size_t n) = 0;
};

// An Input over bytes the caller keeps alive.
class StringInput : public Input {
 public:
  explicit StringInput(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(char* out, std::size_t n) override;

 private:
  std::string_view bytes_;
};

struct Attribute {
  std::string_view name;        // as written, prefix included
  std::string_view local_name;  // after the prefix
  std::string_view value;       // entities decoded, white space normalised
};

enum class Token : std::uint8_t { kStartElement, kEndElement, kText, kEndOfDocument };

class Scanner {
 public:
  // part names the document in messages. input must outlive the scanner.
  Scanner(Input& input, std::string part);
  ~Scanner();
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  // The next token. Raises kWorkbookDamaged, naming the part and the byte
  // offset, for input that is not well-formed XML 1.0 in UTF-8 or UTF-16
  // (a byte order mark or the declaration tells which), for a DOCTYPE,
  // and for nesting deeper than kMaxDepth or a tag longer than
  // kMaxTagSize. After kEndOfDocument it returns kEndOfDocument again.
  // Views returned by the accessors below stay valid until the next call.
  Token Next();

  // kStartElement and kEndElement: the element's name as written and
  // without its prefix. An empty element (<a/>) gives both tokens.
  std::string_view name() const { return name_; }
  std::string_view local_name() const { return local_name_; }
  bool empty_element() const { return empty_element_; }
  // kStartElement: the attributes, in document order.
  const std::vector<Attribute>& attributes() const { return attributes_; }
  // The value of the attribute with that local name, nullptr when absent.
  const std::string_view* Find(std::string_view local_name) const;

  // An element read whole by NextLeaf: its name, and its one child's name
  // and text ("" when it has none).
  struct Leaf {
    std::string_view name;
    std::string_view child;
    std::string_view text;
  };
  // Reads, after any white space, the element that starts there when it is
  // written in the plainest way and lies whole in what has been read so
  // far: ASCII names without prefixes, attributes after single spaces as
  // name="value" with nothing to decode, and either no content
  // (<c r="A1"/>, <c r="A1"></c>) or one child without attributes holding
  // text with nothing to decode (<c r="A1"><v>12</v></c>). Gives
  // what the tokens of that element would, attributes() included, and
  // returns true; white space before the element is skipped (unless a
  // text token came just before, which it ends). Otherwise it
  // consumes nothing and returns false: Next() then reads on (and says what
  // may be wrong). Only inside an element, never with a start tag's end
  // pending.
  bool NextLeaf(Leaf& leaf);

  // kText: text with entities decoded and line ends as "\n". One text
  // between two tags may come as several kText tokens in a row.
  std::string_view text() const { return text_; }

  // Elements open around the current token: a start tag counts itself,
  // an end tag does not.
  std::size_t depth() const { return open_.size(); }
  const std::string& part() const { return part_; }
  // Bytes of the document (as UTF-8) before the current position.
  std::uint64_t offset() const;

  static constexpr std::size_t kMaxDepth = 256;
  static constexpr std::size_t kMaxTagSize = 1 << 20;
  static constexpr std::size_t kMaxAttributes = 256;

 private:
  enum class Step : std::uint8_t { kToken, kSkipped, kNeedMore };
  // A name as scanned: where it ends and what needs a closer look.
  struct NameScan {
    std::size_t end = 0;
    bool unusual = false;   // a ':' or a non-ASCII byte: CheckName must look
  };

  bool Fill();
  void Start();
  Step Markup();
  Step StartTag();
  Step PlainStartTag();
  const char* PlainAttributes(const char* p, bool& empty);
  Step EndTag();
  Step Comment();
  Step ProcessingInstruction();
  Step CdataStart();
  Step TextRun();
  Step CdataRun();
  void Declaration(std::size_t begin, std::size_t end);
  Token AtEnd();
  Step ReadAttribute(std::size_t& p);
  Step FinishStartTag(std::size_t name_end, std::size_t local, std::size_t after, bool empty);
  void CheckDuplicates() const;
  void CheckNamespaces();
  bool IsBound(std::string_view prefix) const;
  void Push(std::string_view name, std::size_t local);
  std::string_view OpenName() const {
    return std::string_view(open_names_.data() + open_.back().begin, open_used_ - open_.back().begin);
  }
  void Pop();
  std::size_t SafeCut(std::size_t begin, std::size_t end, bool cdata) const;
  // Decodes [begin, end) of the buffer; when that changes anything
  // (entities, line ends) appends the result to out and returns true.
  // Validates every character.
  bool Decode(std::size_t begin, std::size_t end, int mode, std::string& out) const;
  void SetText(std::size_t begin, std::size_t end, int mode);
  std::size_t Entity(std::size_t at, std::size_t end, std::string& out) const;
  void CheckChars(std::size_t begin, std::size_t end) const;
  std::size_t SkipSpaces(std::size_t p) const;
  NameScan ScanName(std::size_t p) const;
  // Checks a name with a ':' or non-ASCII bytes: one colon at most,
  // between two parts, and UTF-8. Returns where its local part begins.
  std::size_t CheckName(std::size_t begin, const NameScan& name) const;
  Step SlowEndTag();
  [[noreturn]] void Fail(std::size_t at, std::string_view what) const;

  Input* input_;
  std::unique_ptr<Input> transcoder_;  // UTF-16 to UTF-8, when the document is UTF-16
  std::string part_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::uint64_t consumed_ = 0;  // bytes dropped from the buffer's front
  bool eof_ = false;
  bool started_ = false;
  bool seen_root_ = false;
  bool root_closed_ = false;
  bool in_cdata_ = false;
  bool pending_end_ = false;
  bool utf16_ = false;
  Token token_ = Token::kEndOfDocument;
  std::uint64_t document_start_ = 0;  // after a byte order mark

  std::string_view name_;
  std::string_view local_name_;
  bool empty_element_ = false;
  std::vector<Attribute> attributes_;
  bool prefixed_ = false;  // the tag being read has a prefixed name
  std::string attribute_scratch_;
  std::string_view text_;
  std::string text_scratch_;

  // Names of the open elements, end to end, and where each one begins
  // and its local part.
  std::vector<char> open_names_;
  std::size_t open_used_ = 0;
  struct Open {
    std::uint32_t begin;
    std::uint32_t local;  // offset of the local name within the name
  };
  std::vector<Open> open_;
  // Namespace prefixes declared on open elements, with the depth at which
  // each was declared.
  std::string prefixes_;
  struct Prefix {
    std::uint32_t begin;
    std::uint32_t length;
    std::uint32_t depth;
  };
  std::vector<Prefix> prefix_scopes_;
};

}  // namespace platform::data::xml
