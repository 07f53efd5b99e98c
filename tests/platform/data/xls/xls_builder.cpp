#include "xls_builder.h"

#include <cstring>

namespace xls_builder {

std::string U8(unsigned v) { return std::string(1, static_cast<char>(v & 0xFF)); }
std::string U16(unsigned v) { return U8(v) + U8(v >> 8); }
std::string U32(std::uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }
std::string F64(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return U32(static_cast<std::uint32_t>(bits)) + U32(static_cast<std::uint32_t>(bits >> 32));
}

std::string Record(std::uint16_t type, std::string_view payload) {
  return U16(type) + U16(static_cast<unsigned>(payload.size())) + std::string(payload);
}

std::string Bof(std::uint16_t version, std::uint16_t stream_type) {
  return Record(0x0809, U16(version) + U16(stream_type) + U16(0x0DBB) + U16(0x07CC) + U32(0) + U32(0x0206));
}

std::string Eof() { return Record(0x000A); }

std::string Latin1String(std::string_view text) {
  return U16(static_cast<unsigned>(text.size())) + U8(0) + std::string(text);
}

std::string Utf16Bytes(std::u16string_view text) {
  std::string out;
  for (const char16_t c : text) out += U16(c);
  return out;
}

std::string Utf16String(std::u16string_view text) {
  return U16(static_cast<unsigned>(text.size())) + U8(1) + Utf16Bytes(text);
}

std::string Number(unsigned row, unsigned column, unsigned xf, double value) {
  return Record(0x0203, U16(row) + U16(column) + U16(xf) + F64(value));
}

std::string Label(unsigned row, unsigned column, std::string_view latin1) {
  return Record(0x0204, U16(row) + U16(column) + U16(15) + Latin1String(latin1));
}

std::string Formula(unsigned row, unsigned column, unsigned xf, const std::string& result) {
  const std::string tokens("\x1E\x03\x00", 3);  // ptgInt 3
  return Record(0x0006, U16(row) + U16(column) + U16(xf) + result + U16(0) + U32(0) + U16(3) + tokens);
}

std::string FormulaResult(unsigned kind, unsigned value) {
  return U8(kind) + U8(0) + U8(value) + U8(0) + U16(0) + U16(0xFFFF);
}

std::string Biff8Stream(const std::string& globals, const std::vector<Sheet>& sheets,
                        const std::vector<std::uint16_t>& extra_xf_formats) {
  std::string head = Bof(0x0600, 0x0005) + globals;
  auto xf = [](unsigned format) { return Record(0x00E0, U16(0) + U16(format) + std::string(16, '\0')); };
  for (int i = 0; i < 16; ++i) head += xf(0);
  for (const auto f : extra_xf_formats) head += xf(f);
  auto boundsheets = [&](const std::vector<std::uint32_t>& offsets) {
    std::string out;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
      const Sheet& s = sheets[i];
      out += Record(0x0085, U32(offsets[i]) + U8(s.visibility) + U8(s.type) + U8(static_cast<unsigned>(s.name.size())) +
                                U8(0) + s.name);
    }
    return out;
  };
  std::vector<std::uint32_t> offsets(sheets.size());
  std::uint32_t pos = static_cast<std::uint32_t>(head.size() + boundsheets(offsets).size() + Eof().size());
  std::string bodies;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    offsets[i] = pos;
    const std::string sub = Bof(0x0600, sheets[i].type == 2 ? 0x0020 : 0x0010) + sheets[i].body + Eof();
    bodies += sub;
    pos += static_cast<std::uint32_t>(sub.size());
  }
  return head + boundsheets(offsets) + Eof() + bodies;
}

void Put32(std::string& bytes, std::size_t offset, std::uint32_t v) {
  const std::string b = U32(v);
  bytes.replace(offset, 4, b);
}

CompoundLayout Compound(const std::vector<std::pair<std::string, std::string>>& streams) {
  constexpr std::size_t kSector = 512;
  constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSect = 0xFFFFFFFD;
  CompoundLayout out;
  std::vector<std::uint32_t> fat;
  std::string body;  // sectors 0..n-1
  auto add_chain = [&](const std::string& data) -> std::uint32_t {
    const std::uint32_t first = static_cast<std::uint32_t>(fat.size());
    const std::size_t count = (data.size() + kSector - 1) / kSector;
    for (std::size_t i = 0; i < count; ++i) fat.push_back(i + 1 == count ? kEnd : first + static_cast<std::uint32_t>(i) + 1);
    std::string padded = data;
    padded.resize(count * kSector, '\0');
    body += padded;
    return count ? first : kEnd;
  };

  // Mini stream contents first, to know the directory's values.
  std::string mini;
  std::vector<std::uint32_t> mini_fat;
  out.first_sectors.resize(streams.size());
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const std::string& data = streams[i].second;
    if (data.size() >= 4096 || data.empty()) continue;
    const std::uint32_t first = static_cast<std::uint32_t>(mini_fat.size());
    const std::size_t count = (data.size() + 63) / 64;
    for (std::size_t k = 0; k < count; ++k) mini_fat.push_back(k + 1 == count ? kEnd : first + static_cast<std::uint32_t>(k) + 1);
    std::string padded = data;
    padded.resize(count * 64, '\0');
    mini += padded;
    out.first_sectors[i] = first;
  }

  const std::size_t entries = (streams.size() + 1 + 3) / 4 * 4;
  std::string directory(entries * 128, '\0');
  const std::uint32_t directory_first = add_chain(directory);  // placeholder, filled below
  std::string mini_fat_bytes;
  for (const auto v : mini_fat) mini_fat_bytes += U32(v);
  const std::uint32_t mini_fat_first = mini_fat.empty() ? kEnd : add_chain(mini_fat_bytes);
  const std::uint32_t mini_first = mini.empty() ? kEnd : add_chain(mini);
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const std::string& data = streams[i].second;
    if (data.size() >= 4096) out.first_sectors[i] = add_chain(data);
    if (data.empty()) out.first_sectors[i] = kEnd;
  }

  auto entry = [](const std::u16string& name, unsigned type, std::uint32_t right, std::uint32_t child, std::uint32_t start,
                  std::uint32_t size) {
    std::string e = Utf16Bytes(name);
    if (!name.empty()) e += U16(0);
    const unsigned name_bytes = static_cast<unsigned>(e.size());
    e.resize(64, '\0');
    e += U16(name_bytes) + U8(type) + U8(1) + U32(0xFFFFFFFF) + U32(right) + U32(child) + std::string(36, '\0') +
         U32(start) + U32(size) + U32(0);
    return e;
  };
  directory = entry(u"Root Entry", 5, 0xFFFFFFFF, streams.empty() ? 0xFFFFFFFF : 1, mini_first,
                    static_cast<std::uint32_t>(mini.size()));
  for (std::size_t i = 0; i < streams.size(); ++i) {
    std::u16string name(streams[i].first.begin(), streams[i].first.end());
    directory += entry(name, 2, i + 1 < streams.size() ? static_cast<std::uint32_t>(i + 2) : 0xFFFFFFFF, 0xFFFFFFFF,
                       out.first_sectors[i], static_cast<std::uint32_t>(streams[i].second.size()));
  }
  while (directory.size() < entries * 128) directory += entry(u"", 0, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0);
  body.replace(directory_first * kSector, directory.size(), directory);

  std::size_t fat_sectors = 1;
  while (fat.size() + fat_sectors > fat_sectors * (kSector / 4)) ++fat_sectors;
  const std::uint32_t fat_first = static_cast<std::uint32_t>(fat.size());
  for (std::size_t i = 0; i < fat_sectors; ++i) fat.push_back(kFatSect);
  fat.resize(fat_sectors * (kSector / 4), kFree);

  std::string header("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  header += std::string(16, '\0') + U16(0x3E) + U16(3) + U16(0xFFFE) + U16(9) + U16(6) + std::string(6, '\0');
  header += U32(0) + U32(static_cast<std::uint32_t>(fat_sectors)) + U32(directory_first) + U32(0) + U32(4096) +
            U32(mini_fat_first) + U32(mini_fat.empty() ? 0 : 1) + U32(kEnd) + U32(0);
  for (std::size_t i = 0; i < 109; ++i) header += U32(i < fat_sectors ? fat_first + static_cast<std::uint32_t>(i) : kFree);

  out.bytes = header + body;
  out.fat_offset = out.bytes.size();
  for (const auto v : fat) out.bytes += U32(v);
  out.directory_offset = 512 + directory_first * kSector;
  return out;
}

}  // namespace xls_builder
