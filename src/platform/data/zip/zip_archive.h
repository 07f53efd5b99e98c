#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem/filesystem.h"

// The ZIP container that Office Open XML workbooks live in: a central
// directory at the end of the file lists the entries, each a local header
// followed by its stored or deflated bytes. It knows nothing of what the
// entries hold. docs/xlsx_format.md has a short note on the layout.
namespace platform::data::zip {

inline constexpr char kLocalHeaderSignature[] = "PK\x03\x04";
inline constexpr std::uint32_t kLocalHeaderTag = 0x04034B50;
inline constexpr std::uint32_t kCentralHeaderTag = 0x02014B50;
inline constexpr std::uint32_t kEndOfDirectoryTag = 0x06054B50;
inline constexpr std::uint32_t kZip64EndOfDirectoryTag = 0x06064B50;
inline constexpr std::uint32_t kZip64LocatorTag = 0x07064B50;
inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEndOfDirectorySize = 22;
inline constexpr std::size_t kZip64LocatorSize = 20;
inline constexpr std::size_t kZip64EndOfDirectorySize = 56;
// The end record sits in the last 22 bytes plus a comment of at most this.
inline constexpr std::size_t kMaxCommentSize = 0xFFFF;
inline constexpr std::uint16_t kZip64ExtraTag = 0x0001;
inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
// Deflate cannot shrink data more than about 1032 to 1: an entry that
// claims more is no real entry.
inline constexpr std::uint64_t kMaxDeflateRatio = 1032;

// True when bytes start as a ZIP archive does: with a local header, or
// with the end record when the archive is empty.
bool HasZipSignature(std::string_view first_bytes);

struct Entry {
  std::string name;  // as stored (UTF-8 or code page 437 bytes)
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc32 = 0;
  std::uint64_t compressed_size = 0;
  std::uint64_t size = 0;          // uncompressed
  std::uint64_t header_offset = 0;  // of the local header
  std::uint64_t data_offset = 0;    // of the compressed bytes, after the local header
};

// Bytes read in order, in pieces of the caller's choosing.
class EntryReader {
 public:
  virtual ~EntryReader() = default;
  // Reads up to n bytes into out; returns how many (0 only at the end of
  // the entry). Raises kWorkbookDamaged when the entry's data is broken:
  // an inflate error, data ending early, more or fewer bytes than the
  // directory records, or a CRC that differs from it.
  virtual std::size_t Read(char* out, std::size_t n) = 0;
};

class ZipArchive {
 public:
  // Reads the central directory of file, which must outlive this object
  // and every reader opened from it. Nothing recorded is trusted: the end
  // record is found by a bounded backwards scan, every offset and size is
  // checked against the file's size, each local header against its
  // directory entry, and entries whose bytes overlap are refused. Zip64
  // records are read. Raises kWorkbookDamaged when the structure is
  // broken (callers check HasZipSignature first for a kinder message).
  explicit ZipArchive(const RandomAccessFile& file);

  const std::vector<Entry>& entries() const { return entries_; }

  // The entry of that name, ASCII case ignored, "/" and "\" alike, a
  // leading "/" ignored; nullptr when there is none. Raises
  // kWorkbookDamaged when two entries answer to the name (which one a
  // reader takes would be a guess).
  const Entry* Find(std::string_view name) const;

  // A reader of the entry's uncompressed bytes, streamed in pieces (the
  // entry is never held whole). Raises kWorkbookEncrypted for an
  // encrypted entry and kWorkbookDamaged for a compression method other
  // than stored or deflated. The reader needs this archive alive.
  std::unique_ptr<EntryReader> Open(const Entry& entry) const;

  // The whole entry as bytes, for small parts; raises kWorkbookDamaged
  // when it holds more than max_size bytes.
  std::string ReadAll(const Entry& entry, std::size_t max_size) const;

 private:
  struct Directory {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t count = 0;
  };

  Directory FindDirectory() const;
  std::uint64_t FindEndRecord() const;
  void ReadZip64End(std::uint64_t end_record, Directory& directory) const;
  void ReadDirectory(const Directory& directory);
  void CheckLocalHeader(Entry& entry, std::uint64_t data_limit) const;
  void CheckOverlaps(std::uint64_t directory_offset) const;

  const RandomAccessFile& file_;
  std::vector<Entry> entries_;
};

// The text of a name for messages: bytes that are not UTF-8 become "?".
std::string PrintableName(std::string_view name);

// Equal as part names: ASCII case ignored, "/" and "\" alike, leading
// separators ignored.
bool SameEntryName(std::string_view a, std::string_view b);

}  // namespace platform::data::zip
