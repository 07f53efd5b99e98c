#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Builds workbook bytes in memory for the reader's tests: little-endian
// fields, BIFF records, a workbook stream and a compound file around
// streams. The layout is fixed so tests can damage known bytes.
namespace xls_builder {

std::string U8(unsigned v);
std::string U16(unsigned v);
std::string U32(std::uint32_t v);
std::string F64(double v);

std::string Record(std::uint16_t type, std::string_view payload = {});
std::string Bof(std::uint16_t version, std::uint16_t stream_type);
std::string Eof();
// BIFF8 string with a 2-byte length, compressed (one byte a character).
std::string Latin1String(std::string_view text);
// BIFF8 string with a 2-byte length, UTF-16 (text given as UTF-16LE).
std::string Utf16String(std::u16string_view text);
std::string Utf16Bytes(std::u16string_view text);

struct Sheet {
  std::string name;
  std::string body;  // records between the sheet's BOF and EOF
  std::uint8_t visibility = 0;
  std::uint8_t type = 0;
};

// A BIFF8 workbook stream: globals (BOF, the given records, 16 XF records
// with the general format plus one XF per entry of extra_xf_formats, the
// BOUNDSHEETs, EOF), then each sheet's substream. Cell XF 15 is general;
// XF 16 + i uses extra_xf_formats[i].
std::string Biff8Stream(const std::string& globals, const std::vector<Sheet>& sheets,
                        const std::vector<std::uint16_t>& extra_xf_formats = {});

// Cell records.
std::string Number(unsigned row, unsigned column, unsigned xf, double value);
std::string Label(unsigned row, unsigned column, std::string_view latin1);
// A FORMULA record (the formula =3) with its 8-byte cached result: F64(v)
// for a number, FormulaResult for the others.
std::string Formula(unsigned row, unsigned column, unsigned xf, const std::string& result);
// A cached result that is not a number: kind 0 text (in the STRING record
// that follows), 1 boolean (value), 2 error (value), 3 empty text.
std::string FormulaResult(unsigned kind, unsigned value = 0);

struct CompoundLayout {
  std::string bytes;
  std::size_t fat_offset = 0;  // file offset of the first FAT sector
  std::size_t directory_offset = 0;
  std::vector<std::uint32_t> first_sectors;  // per stream (regular or mini)
};

// A version 3 compound file (512-byte sectors) holding the streams in its
// root storage. Streams under 4096 bytes go to the mini stream. Layout:
// header, directory sector(s), mini FAT, mini stream, regular streams,
// FAT.
CompoundLayout Compound(const std::vector<std::pair<std::string, std::string>>& streams);

void Put32(std::string& bytes, std::size_t offset, std::uint32_t v);

}  // namespace xls_builder
