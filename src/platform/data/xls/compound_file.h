#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem/filesystem.h"

// The compound file container that .xls workbooks live in: a little file
// system of sectors, a sector allocation table (FAT), a directory of named
// streams and a mini stream for small streams. docs/xls_format.md has a
// short note on the layout.
namespace platform::data::xls {

inline constexpr char kCompoundFileSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
inline constexpr std::size_t kCompoundHeaderSize = 512;
inline constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
// Streams shorter than this live in the mini stream; a stream of exactly
// this size is a normal one.
inline constexpr std::uint64_t kMiniStreamCutoff = 4096;
inline constexpr std::size_t kDirectoryEntrySize = 128;

// True when bytes start with the compound file signature.
bool HasCompoundSignature(std::string_view first_bytes);

class CompoundFile {
 public:
  // Reads the header, the allocation tables and the directory of file,
  // which must outlive the result and every stream opened from it.
  // Raises kWorkbookDamaged when the structure is broken (bad signature
  // included: callers check HasCompoundSignature first for a kinder
  // message). Nothing recorded in the file is trusted: counts are bounded
  // by the file's size and every chain is checked for cycles and bounds.
  static std::unique_ptr<CompoundFile> Parse(const RandomAccessFile& file);

  // True when the root storage holds a stream of that name (compared
  // without regard to ASCII case).
  bool HasStream(std::string_view name) const;

  // Opens a stream of the root storage by name (ASCII case ignored).
  // Returns nullptr when there is none. The stream's size is the recorded
  // size cut to what its chain actually holds in the file (a short last
  // sector is tolerated). Raises kWorkbookDamaged for a broken chain.
  std::unique_ptr<RandomAccessFile> OpenStream(std::string_view name) const;

 private:
  struct Entry {
    std::string name;  // UTF-8
    std::uint8_t type = 0;
    std::uint32_t left = kNoStream;
    std::uint32_t right = kNoStream;
    std::uint32_t child = kNoStream;
    std::uint32_t start = kEndOfChain;
    std::uint64_t size = 0;
  };

  explicit CompoundFile(const RandomAccessFile& file) : file_(file) {}

  // The steps of Parse, in order. The sector sizes and the number of
  // sectors the file holds, from the header.
  void ReadGeometry(const unsigned char* header);
  // The FAT's own sectors: listed in the header, then in the DIFAT chain.
  std::vector<std::uint32_t> FatSectors(const unsigned char* header) const;
  void ReadFat(const std::vector<std::uint32_t>& fat_sectors);
  void ReadDirectory(std::uint32_t first_sector, bool version3);
  void ReadMiniStream(std::uint32_t mini_fat_first);

  std::uint64_t SectorOffset(std::uint32_t sector) const;
  // The sectors of a chain, at most max_sectors of them (0: no limit but
  // the table's size). Raises on a cycle, an out-of-range or free sector.
  std::vector<std::uint32_t> Chain(const std::vector<std::uint32_t>& table,
                                   std::uint32_t start,
                                   std::size_t max_sectors,
                                   const char* what) const;
  std::string ReadSectors(const std::vector<std::uint32_t>& sectors) const;
  const Entry* FindRootChild(std::string_view name) const;

  const RandomAccessFile& file_;
  unsigned sector_shift_ = 9;
  unsigned mini_sector_shift_ = 6;
  std::uint32_t sectors_in_file_ = 0;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> mini_stream_sectors_;
  std::uint64_t mini_stream_size_ = 0;
};

}  // namespace platform::data::xls
