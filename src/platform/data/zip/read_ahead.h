#pragma once

#include <memory>

#include "platform/data/zip/zip_archive.h"

namespace platform::data::zip {

// Reads inner ahead of the caller on a thread of its own, a few pieces at
// a time, so that inflating the next piece overlaps with the caller's work
// on this one (the machines this runs on have two cores or more). Gives
// the same bytes and raises the same errors as inner, at the same point of
// the stream. Destroying it stops the thread.
std::unique_ptr<EntryReader> ReadAhead(std::unique_ptr<EntryReader> inner);

}  // namespace platform::data::zip
