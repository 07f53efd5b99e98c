#pragma once

#include <string>
#include <string_view>

#include "platform/filesystem/filesystem.h"
#include "support/fault_plan.h"

namespace platform::data::dbase::testing {

// What a MemoryWritableFile did; outlives the file so tests can look
// after the writer has let go of it. Its faults fail the file's writes,
// syncs and closes (testing_support::FileOp).
struct MemoryFileState {
  std::string bytes;
  int syncs = 0;
  bool closed = false;
  testing_support::FaultPlan<testing_support::FileOp> faults;
};

// A WritableFile in memory.
class MemoryWritableFile : public WritableFile {
 public:
  explicit MemoryWritableFile(MemoryFileState& state) : state_(state) {}

  void Append(std::string_view data) override { WriteAt(state_.bytes.size(), data); }
  void WriteAt(std::uint64_t offset, std::string_view data) override {
    state_.faults.Check(testing_support::FileOp::kWrite);
    if (state_.bytes.size() < offset + data.size()) state_.bytes.resize(offset + data.size());
    state_.bytes.replace(offset, data.size(), data);
  }
  void Flush() override {}
  void Sync() override {
    state_.faults.Check(testing_support::FileOp::kSync);
    ++state_.syncs;
  }
  void Close() override {
    state_.faults.Check(testing_support::FileOp::kClose);
    state_.closed = true;
  }

 private:
  MemoryFileState& state_;
};

}  // namespace platform::data::dbase::testing
