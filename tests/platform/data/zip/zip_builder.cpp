#include "zip_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace zip_builder {
namespace {

std::string U16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string U32(std::uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }
std::string U64(std::uint64_t v) { return U32(static_cast<std::uint32_t>(v)) + U32(static_cast<std::uint32_t>(v >> 32)); }

struct Written {
  std::string compressed;
  std::uint32_t crc = 0;
};

std::string LocalHeader(const EntryDraft& e, const Written& w) {
  const bool sizes_here = !e.descriptor;
  std::string extra;
  if (e.zip64) extra = U16(1) + U16(16) + U64(e.data.size()) + U64(w.compressed.size());
  std::string h = U32(0x04034B50) + U16(e.zip64 ? 45 : 20) + U16(e.descriptor ? 8 : 0) + U16(e.deflate ? 8 : 0) +
                  U16(0) + U16(0x21);
  h += U32(sizes_here ? w.crc : 0);
  if (e.zip64) {
    h += U32(0xFFFFFFFF) + U32(0xFFFFFFFF);
  } else {
    h += U32(sizes_here ? static_cast<std::uint32_t>(w.compressed.size()) : 0);
    h += U32(sizes_here ? static_cast<std::uint32_t>(e.data.size()) : 0);
  }
  return h + U16(e.name.size()) + U16(extra.size()) + e.name + extra;
}

std::string Descriptor(const EntryDraft& e, const Written& w) {
  std::string d = U32(0x08074B50) + U32(w.crc);
  if (e.zip64) return d + U64(w.compressed.size()) + U64(e.data.size());
  return d + U32(w.compressed.size()) + U32(e.data.size());
}

std::string CentralHeader(const EntryDraft& e, const Written& w, std::size_t offset) {
  std::string extra;
  if (e.zip64) extra = U16(1) + U16(24) + U64(e.data.size()) + U64(w.compressed.size()) + U64(offset);
  std::string h = U32(0x02014B50) + U16(45) + U16(e.zip64 ? 45 : 20) + U16(e.descriptor ? 8 : 0) +
                  U16(e.deflate ? 8 : 0) + U16(0) + U16(0x21) + U32(w.crc);
  if (e.zip64) {
    h += U32(0xFFFFFFFF) + U32(0xFFFFFFFF);
  } else {
    h += U32(w.compressed.size()) + U32(e.data.size());
  }
  h += U16(e.name.size()) + U16(extra.size()) + U16(0) + U16(0) + U16(0) + U32(0);
  h += U32(e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(offset));
  return h + e.name + extra;
}

}  // namespace

std::string Deflate(std::string_view data) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::uint32_t Crc(std::string_view data) {
  return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

Layout Zip(const std::vector<EntryDraft>& entries, std::string_view comment, bool zip64_end) {
  Layout layout;
  std::string directory;
  for (const EntryDraft& e : entries) {
    Written w{e.deflate ? Deflate(e.data) : e.data, Crc(e.data)};
    const std::size_t offset = layout.bytes.size();
    layout.header_offsets.push_back(offset);
    layout.bytes += LocalHeader(e, w);
    layout.data_offsets.push_back(layout.bytes.size());
    layout.data_sizes.push_back(w.compressed.size());
    layout.bytes += w.compressed;
    if (e.descriptor) layout.bytes += Descriptor(e, w);
    layout.directory_headers.push_back(directory.size());
    directory += CentralHeader(e, w, offset);
  }
  layout.directory_offset = layout.bytes.size();
  for (std::size_t& h : layout.directory_headers) h += layout.directory_offset;
  layout.bytes += directory;
  const std::size_t count = entries.size();
  if (zip64_end) {
    const std::size_t record = layout.bytes.size();
    layout.bytes += U32(0x06064B50) + U64(44) + U16(45) + U16(45) + U32(0) + U32(0) + U64(count) + U64(count) +
                    U64(directory.size()) + U64(layout.directory_offset);
    layout.bytes += U32(0x07064B50) + U32(0) + U64(record) + U32(1);
  }
  layout.end_offset = layout.bytes.size();
  layout.bytes += U32(0x06054B50) + U16(0) + U16(0);
  layout.bytes += zip64_end ? U16(0xFFFF) + U16(0xFFFF) + U32(0xFFFFFFFF) + U32(0xFFFFFFFF)
                            : U16(count) + U16(count) + U32(directory.size()) + U32(layout.directory_offset);
  layout.bytes += U16(comment.size()) + std::string(comment);
  return layout;
}

void Put16(std::string& bytes, std::size_t offset, std::uint16_t v) {
  bytes[offset] = static_cast<char>(v & 0xFF);
  bytes[offset + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& bytes, std::size_t offset, std::uint32_t v) {
  Put16(bytes, offset, static_cast<std::uint16_t>(v & 0xFFFF));
  Put16(bytes, offset + 2, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace zip_builder
