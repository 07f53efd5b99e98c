#include "platform/data/zip/zip_archive.h"

#include <algorithm>
#include <cstring>

#include "platform/data/zip/inflate.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"

namespace platform::data::zip {
namespace {

// A workbook has a few dozen parts; a directory claiming more than this is
// not one (and would take memory in proportion).
constexpr std::uint64_t kMaxEntries = 65536;
// The directory is read whole: 65,536 entries with long names fit in this.
constexpr std::uint64_t kMaxDirectorySize = std::uint64_t{64} << 20;
constexpr std::uint32_t kNoValue32 = 0xFFFFFFFF;

[[noreturn]] void Damaged(const std::string& what) {
  Raise(err::kWorkbookDamaged, "工作簿已损坏：" + what);
}

std::uint16_t Le16(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint16_t>(u[0] | (u[1] << 8));
}
std::uint32_t Le32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(u[0]) | (static_cast<std::uint32_t>(u[1]) << 8) |
         (static_cast<std::uint32_t>(u[2]) << 16) | (static_cast<std::uint32_t>(u[3]) << 24);
}
std::uint64_t Le64(const char* p) {
  return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

// Exactly n bytes at offset, which the caller has checked against the
// file's size; a file shorter than it said is damage all the same.
std::string ReadExactly(const RandomAccessFile& file, std::uint64_t offset, std::size_t n) {
  std::string bytes(n, '\0');
  if (n > 0 && file.Read(offset, n, bytes.data()) != n) Damaged("压缩包在文件结尾处被截断");
  return bytes;
}

bool Fits(std::uint64_t offset, std::uint64_t size, std::uint64_t limit) {
  return offset <= limit && size <= limit - offset;
}

// The 64-bit values of a directory entry whose 32-bit fields say "see the
// Zip64 extra field", in the field's fixed order.
void ReadZip64Extra(std::string_view extra, Entry& entry, bool size_wanted, bool compressed_wanted,
                    bool offset_wanted) {
  while (extra.size() >= 4) {
    const std::uint16_t tag = Le16(extra.data());
    const std::size_t length = Le16(extra.data() + 2);
    if (length > extra.size() - 4) break;
    if (tag == kZip64ExtraTag) {
      std::string_view field = extra.substr(4, length);
      auto take = [&](std::uint64_t& value) {
        if (field.size() < 8) Damaged("压缩包目录中 " + PrintableName(entry.name) + " 的 Zip64 信息不完整");
        value = Le64(field.data());
        field.remove_prefix(8);
      };
      if (size_wanted) take(entry.size);
      if (compressed_wanted) take(entry.compressed_size);
      if (offset_wanted) take(entry.header_offset);
      return;
    }
    extra.remove_prefix(4 + length);
  }
  if (size_wanted || compressed_wanted || offset_wanted) {
    Damaged("压缩包目录中 " + PrintableName(entry.name) + " 缺少 Zip64 信息");
  }
}

// Parses one central directory header at the start of rest; returns its
// length.
std::size_t ParseCentralHeader(std::string_view rest, Entry& entry) {
  if (rest.size() < kCentralHeaderSize || Le32(rest.data()) != kCentralHeaderTag) {
    Damaged("压缩包的目录已损坏");
  }
  const char* h = rest.data();
  entry.flags = Le16(h + 8);
  entry.method = Le16(h + 10);
  entry.crc32 = Le32(h + 16);
  const std::uint32_t compressed = Le32(h + 20);
  const std::uint32_t size = Le32(h + 24);
  const std::size_t name_length = Le16(h + 28);
  const std::size_t extra_length = Le16(h + 30);
  const std::size_t comment_length = Le16(h + 32);
  const std::uint32_t offset = Le32(h + 42);
  const std::size_t total = kCentralHeaderSize + name_length + extra_length + comment_length;
  if (total > rest.size()) Damaged("压缩包的目录已损坏");
  entry.name.assign(h + kCentralHeaderSize, name_length);
  entry.compressed_size = compressed;
  entry.size = size;
  entry.header_offset = offset;
  ReadZip64Extra(rest.substr(kCentralHeaderSize + name_length, extra_length), entry, size == kNoValue32,
                 compressed == kNoValue32, offset == kNoValue32);
  return total;
}

bool IsUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the UTF-8 sequence at text[i], or 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  std::size_t n = 0;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  if (c >= 0xE0 && c <= 0xEF) n = 3;
  if (c >= 0xF0 && c <= 0xF4) n = 4;
  if (n == 0 || i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if (!IsUtf8Continuation(static_cast<unsigned char>(text[i + k]))) return 0;
  }
  return n;
}

char NormalSeparator(char c) { return c == '\\' ? '/' : ascii::Lower(c); }

std::string_view WithoutLeadingSeparators(std::string_view name) {
  while (!name.empty() && (name.front() == '/' || name.front() == '\\')) name.remove_prefix(1);
  return name;
}

}  // namespace

bool HasZipSignature(std::string_view first_bytes) {
  const std::string_view head = first_bytes.substr(0, 4);
  return head == std::string_view(kLocalHeaderSignature, 4) || head == std::string_view("PK\x05\x06", 4);
}

std::string PrintableName(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t n = Utf8SequenceLength(name, i);
    const bool control = n == 1 && static_cast<unsigned char>(name[i]) < 0x20;
    if (n == 0 || control) {
      out += '?';
      ++i;
    } else {
      out.append(name.substr(i, n));
      i += n;
    }
  }
  return out;
}

bool SameEntryName(std::string_view a, std::string_view b) {
  a = WithoutLeadingSeparators(a);
  b = WithoutLeadingSeparators(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (NormalSeparator(a[i]) != NormalSeparator(b[i])) return false;
  }
  return true;
}

ZipArchive::ZipArchive(const RandomAccessFile& file) : file_(file) {
  const Directory directory = FindDirectory();
  ReadDirectory(directory);
  for (Entry& entry : entries_) CheckLocalHeader(entry, directory.offset);
  CheckOverlaps(directory.offset);
}

std::uint64_t ZipArchive::FindEndRecord() const {
  const std::uint64_t size = file_.Size();
  if (size < kEndOfDirectorySize) Damaged("文件太短，不是完整的压缩包");
  const std::size_t tail_size = static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndOfDirectorySize + kMaxCommentSize));
  const std::uint64_t tail_offset = size - tail_size;
  const std::string tail = ReadExactly(file_, tail_offset, tail_size);
  // From the end backwards: the record whose comment reaches exactly to
  // the end of the file wins; failing that, the last one whose comment
  // fits (bytes appended after an archive).
  std::uint64_t fitting = UINT64_MAX;
  for (std::size_t i = tail_size - kEndOfDirectorySize + 1; i-- > 0;) {
    if (Le32(tail.data() + i) != kEndOfDirectoryTag) continue;
    const std::size_t end = i + kEndOfDirectorySize + Le16(tail.data() + i + 20);
    if (end == tail_size) return tail_offset + i;
    if (end < tail_size && fitting == UINT64_MAX) fitting = tail_offset + i;
  }
  if (fitting == UINT64_MAX) Damaged("找不到压缩包的目录（文件不完整？）");
  return fitting;
}

void ZipArchive::ReadZip64End(std::uint64_t end_record, Directory& directory) const {
  if (end_record < kZip64LocatorSize) return;
  const std::uint64_t locator_offset = end_record - kZip64LocatorSize;
  const std::string locator = ReadExactly(file_, locator_offset, kZip64LocatorSize);
  if (Le32(locator.data()) != kZip64LocatorTag) return;
  const std::uint64_t record_offset = Le64(locator.data() + 8);
  if (!Fits(record_offset, kZip64EndOfDirectorySize, locator_offset)) Damaged("压缩包的 Zip64 目录位置超出文件");
  const std::string record = ReadExactly(file_, record_offset, kZip64EndOfDirectorySize);
  if (Le32(record.data()) != kZip64EndOfDirectoryTag) Damaged("压缩包的 Zip64 目录已损坏");
  directory.count = Le64(record.data() + 32);
  directory.size = Le64(record.data() + 40);
  directory.offset = Le64(record.data() + 48);
  if (!Fits(directory.offset, directory.size, record_offset)) Damaged("压缩包的目录位置超出文件");
}

ZipArchive::Directory ZipArchive::FindDirectory() const {
  const std::uint64_t end_record = FindEndRecord();
  const std::string record = ReadExactly(file_, end_record, kEndOfDirectorySize);
  Directory directory;
  directory.count = Le16(record.data() + 10);
  directory.size = Le32(record.data() + 12);
  directory.offset = Le32(record.data() + 16);
  ReadZip64End(end_record, directory);
  if (!Fits(directory.offset, directory.size, end_record)) Damaged("压缩包的目录位置超出文件");
  if (directory.count > kMaxEntries || directory.size > kMaxDirectorySize) Damaged("压缩包的目录中条目太多");
  if (directory.count > directory.size / kCentralHeaderSize) Damaged("压缩包的目录已损坏：条目数与目录大小不符");
  return directory;
}

void ZipArchive::ReadDirectory(const Directory& directory) {
  const std::string bytes = ReadExactly(file_, directory.offset, static_cast<std::size_t>(directory.size));
  std::string_view rest = bytes;
  entries_.reserve(static_cast<std::size_t>(directory.count));
  for (std::uint64_t i = 0; i < directory.count; ++i) {
    Entry entry;
    rest.remove_prefix(ParseCentralHeader(rest, entry));
    entries_.push_back(std::move(entry));
  }
  if (!rest.empty()) Damaged("压缩包的目录已损坏：条目数与目录大小不符");
}

void ZipArchive::CheckLocalHeader(Entry& entry, std::uint64_t data_limit) const {
  const std::string name = PrintableName(entry.name);
  if (!Fits(entry.header_offset, kLocalHeaderSize, data_limit)) Damaged("压缩包中 " + name + " 的位置超出文件");
  const std::string header = ReadExactly(file_, entry.header_offset, kLocalHeaderSize);
  const std::size_t name_length = Le16(header.data() + 26);
  const std::size_t extra_length = Le16(header.data() + 28);
  entry.data_offset = entry.header_offset + kLocalHeaderSize + name_length + extra_length;
  if (Le32(header.data()) != kLocalHeaderTag || !Fits(entry.header_offset + kLocalHeaderSize, name_length, data_limit)) {
    Damaged("压缩包中 " + name + " 的文件头已损坏");
  }
  const bool same = ReadExactly(file_, entry.header_offset + kLocalHeaderSize, name_length) == entry.name &&
                    Le16(header.data() + 8) == entry.method;
  if (!same) Damaged("压缩包中 " + name + " 的文件头与目录不符");
  // Without a data descriptor the header repeats the directory's CRC and
  // sizes (Zip64 sizes are in its extra field, marked by all ones).
  if ((Le16(header.data() + 6) & kFlagDataDescriptor) == 0) {
    const std::uint32_t compressed = Le32(header.data() + 18);
    const std::uint32_t size = Le32(header.data() + 22);
    const bool zip64 = compressed == kNoValue32 && size == kNoValue32;
    if (Le32(header.data() + 14) != entry.crc32 ||
        (!zip64 && (compressed != entry.compressed_size || size != entry.size))) {
      Damaged("压缩包中 " + name + " 的文件头与目录不符");
    }
  }
  if (!Fits(entry.data_offset, entry.compressed_size, data_limit)) Damaged("压缩包中 " + name + " 的数据超出文件");
}

void ZipArchive::CheckOverlaps(std::uint64_t directory_offset) const {
  std::vector<const Entry*> by_offset;
  by_offset.reserve(entries_.size());
  for (const Entry& entry : entries_) by_offset.push_back(&entry);
  std::sort(by_offset.begin(), by_offset.end(),
            [](const Entry* a, const Entry* b) { return a->header_offset < b->header_offset; });
  for (std::size_t i = 0; i < by_offset.size(); ++i) {
    const Entry& entry = *by_offset[i];
    const std::uint64_t end = entry.data_offset + entry.compressed_size;
    const std::uint64_t next = i + 1 < by_offset.size() ? by_offset[i + 1]->header_offset : directory_offset;
    if (end > next) {
      Damaged("压缩包中 " + PrintableName(entry.name) + " 的数据与其他条目重叠");
    }
  }
}

const Entry* ZipArchive::Find(std::string_view name) const {
  const Entry* found = nullptr;
  for (const Entry& entry : entries_) {
    if (!SameEntryName(entry.name, name)) continue;
    if (found != nullptr) Damaged("压缩包中有两个名为 " + PrintableName(name) + " 的条目");
    found = &entry;
  }
  return found;
}

std::unique_ptr<EntryReader> ZipArchive::Open(const Entry& entry) const {
  const std::string name = PrintableName(entry.name);
  if (entry.flags & kFlagEncrypted) Raise(err::kWorkbookEncrypted, "工作簿已加密，无法读取：" + name);
  if (entry.method == kMethodStored) {
    if (entry.compressed_size != entry.size) Damaged("压缩包中 " + name + " 的大小与目录不符");
    return MakeStoredReader(file_, entry);
  }
  if (entry.method != kMethodDeflated) {
    Damaged("压缩包中 " + name + " 使用了不支持的压缩方法 " + std::to_string(entry.method));
  }
  if (entry.size / kMaxDeflateRatio > entry.compressed_size) {
    Damaged("压缩包中 " + name + " 记录的大小不可能由压缩数据得到");
  }
  return MakeDeflatedReader(file_, entry);
}

std::string ZipArchive::ReadAll(const Entry& entry, std::size_t max_size) const {
  if (entry.size > max_size) Damaged(PrintableName(entry.name) + " 太大");
  std::string bytes(static_cast<std::size_t>(entry.size), '\0');
  const std::unique_ptr<EntryReader> reader = Open(entry);
  std::size_t got = 0;
  while (got < bytes.size()) {
    const std::size_t n = reader->Read(bytes.data() + got, bytes.size() - got);
    if (n == 0) break;
    got += n;
  }
  // The reader checks size and CRC when it reaches the end.
  char extra;
  if (reader->Read(&extra, 1) != 0 || got != bytes.size()) Damaged(PrintableName(entry.name) + " 的大小与目录不符");
  return bytes;
}

}  // namespace platform::data::zip
