#pragma once

#include <map>
#include <string>
#include <utility>

#include "platform/runtime/error.h"

namespace testing_support {

// The calls the fault-injecting file systems and files count and fail.
// kWrite is any write to a file (Append and WriteAt).
enum class FileOp { kDelete, kMove, kReplace, kCreate, kOpenForRead, kWrite, kSync, kClose };

// The calls the fault-injecting providers count and fail. kExecute and
// kClose count the dBase side only: CREATE TABLE is the first Execute,
// the k-th insert the (k+1)-th.
enum class ProviderOp { kOpenWorkbook, kOpenDbase, kQuery, kExecute, kClose };

// Counts calls by kind and fails the Nth call of one kind (and, with a
// count, the count - 1 calls of that kind after it) with a chosen error:
// the one rule behind every fault-injecting wrapper.
template <typename Op>
class FaultPlan {
 public:
  void FailAt(Op op, int nth, int number, std::string description, int count = 1) {
    op_ = op;
    nth_ = nth;
    last_ = nth + count - 1;
    number_ = number;
    description_ = std::move(description);
  }

  int calls(Op op) const {
    const auto it = counts_.find(op);
    return it == counts_.end() ? 0 : it->second;
  }

  // Counts the call; raises the chosen error when it is the one to fail.
  void Check(Op op) const {
    const int count = ++counts_[op];
    if (nth_ > 0 && op == op_ && count >= nth_ && count <= last_) platform::Raise(number_, description_);
  }

 private:
  Op op_{};
  int nth_ = 0;
  int last_ = 0;
  int number_ = 0;
  std::string description_;
  mutable std::map<Op, int> counts_;
};

}  // namespace testing_support
