#pragma once

#include <memory>
#include <string_view>

#include "platform/data/provider.h"

namespace platform {
class Clock;
class FileSystem;
}  // namespace platform

namespace platform::data::dbase {

// A session that writes dBase III tables (code page 936) in folder from
// CREATE TABLE and insert statements. The clock dates the file headers.
std::unique_ptr<Session> OpenDbaseSession(FileSystem& file_system,
                                          const Clock& clock,
                                          std::string_view folder);

}  // namespace platform::data::dbase
