#pragma once

#include <memory>

#include "platform/data/provider.h"

namespace platform {
class Clock;
class FileSystem;
}  // namespace platform

namespace platform::data {

// The real providers (the workbook reader, the dBase writer) on the given
// file system and clock, both of which must outlive the factory.
std::unique_ptr<ProviderFactory> MakeProviders(FileSystem& file_system, const Clock& clock);

}  // namespace platform::data
