#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/data/zip/zip_archive.h"

// Raw deflate streams (RFC 1951) decoded by zlib, in pieces, and the
// readers of stored and deflated ZIP entries built on it. The only place
// that includes zlib.
namespace platform::data::zip {

class Inflater {
 public:
  // what names the data in messages (an entry's name).
  explicit Inflater(std::string what);
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // The next compressed bytes; they must stay where they are until
  // input_left() is 0.
  void SetInput(const char* data, std::size_t n);
  std::size_t input_left() const;

  // Decodes into out, at most n bytes; returns how many were written (0
  // when more input is needed or the stream has ended). Raises
  // kWorkbookDamaged for data that is not a valid deflate stream.
  std::size_t Inflate(char* out, std::size_t n);

  // True once the stream's final block has been decoded.
  bool finished() const { return finished_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::string what_;
  bool finished_ = false;
};

// The CRC-32 of ZIP entries (the one zlib computes), continued from crc.
std::uint32_t Crc32(std::uint32_t crc, const char* data, std::size_t n);

// Readers of one entry whose range the archive has checked; file must
// outlive them.
std::unique_ptr<EntryReader> MakeStoredReader(const RandomAccessFile& file, const Entry& entry);
std::unique_ptr<EntryReader> MakeDeflatedReader(const RandomAccessFile& file, const Entry& entry);

}  // namespace platform::data::zip
