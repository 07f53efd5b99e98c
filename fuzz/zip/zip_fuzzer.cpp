// libFuzzer target for the ZIP container: read the directory, then every
// entry in pieces whose size the input's last byte picks. Any input must
// either read or raise platform::Error; anything else (a crash, a
// sanitizer report, an uncaught exception, a hang) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/data/zip/zip_archive.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace platform;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t piece = size == 0 ? 1 : 1 + static_cast<std::size_t>(data[size - 1]) * 97;
  try {
    MemoryFile file(bytes);
    const data::zip::ZipArchive zip(file);
    std::string buffer(piece, '\0');
    for (const data::zip::Entry& entry : zip.entries()) {
      try {
        zip.Find(entry.name);
        auto reader = zip.Open(entry);
        std::size_t total = 0;
        while (const std::size_t n = reader->Read(buffer.data(), buffer.size())) total += n;
        if (total != entry.size) __builtin_trap();  // the reader's end checks failed to notice
      } catch (const Error&) {
        // One damaged entry; the others may still read.
      }
    }
  } catch (const Error&) {
  }
  return 0;
}
