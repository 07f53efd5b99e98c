#pragma once

#include <memory>

#include "platform/data/provider.h"

namespace platform {
class Clock;
class FileSystem;
class RandomAccessFile;
}  // namespace platform

namespace platform::data {

// The real providers (the workbook reader, the dBase writer) on the given
// file system and clock, both of which must outlive the factory.
std::unique_ptr<ProviderFactory> MakeProviders(FileSystem& file_system, const Clock& clock);

// The workbook in file, its format told by its content, not its name: a
// ZIP package is read as an Office Open XML workbook (.xlsx, .xlsm,
// .xltx), a compound file or bare BIFF stream as an .xls workbook; an .xlsb
// or .ods package, or anything else, is refused with 1101 naming what it
// is. The session takes over the file. OpenWorkbook opens its path so.
std::unique_ptr<Session> OpenWorkbookFile(std::unique_ptr<RandomAccessFile> file);

}  // namespace platform::data
