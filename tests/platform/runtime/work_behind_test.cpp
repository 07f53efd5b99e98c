#include "platform/runtime/work_behind.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

struct Numbers {
  std::vector<int> values;
  std::size_t count() const { return values.size(); }
  void Clear() { values.clear(); }
};

// Batches reach the thread whole and in the order handed, whatever the
// depth: a slot reused too early would lose or repeat one.
TEST(WorkBehindTest, BatchesAreWorkedOnInTheOrderHanded) {
  for (const std::size_t depth : {1, 2, 4}) {
    SCOPED_TRACE(depth);
    std::vector<int> seen;
    WorkBehind<Numbers> behind(
        [&](const Numbers& batch) { seen.insert(seen.end(), batch.values.begin(), batch.values.end()); }, depth);
    std::vector<int> handed;
    for (int i = 0; i < 500; ++i) {
      behind.filling().values.push_back(i);
      handed.push_back(i);
      if (i % 7 == 0) {
        behind.Hand();
        EXPECT_TRUE(behind.filling().values.empty());
      }
    }
    behind.Finish();
    EXPECT_EQ(seen, handed);
  }
}

// After the work raises, the batches handed behind the failing one are
// dropped, and every later Hand and Finish raises that first error. The
// failing batch waits until three more are queued behind it.
TEST(WorkBehindTest, AFailureDropsTheBatchesBehindItAndIsToldAgain) {
  std::vector<int> seen;
  std::atomic<bool> queued{false};
  {
    WorkBehind<Numbers> behind(
        [&](const Numbers& batch) {
          if (batch.values.front() != 3) {
            seen.push_back(batch.values.front());
            return;
          }
          while (!queued.load()) std::this_thread::yield();
          throw std::runtime_error("disk full at 3");
        },
        4);
    for (int i = 0; i < 7; ++i) {
      behind.filling().values.push_back(i);
      behind.Hand();
    }
    queued.store(true);
    for (int i = 0; i < 2; ++i) {
      behind.filling().values.push_back(7 + i);
      try {
        behind.Finish();
        ADD_FAILURE() << "no error told";
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "disk full at 3");
      }
      EXPECT_TRUE(behind.filling().values.empty());  // dropped, not kept for later
    }
    EXPECT_TRUE(behind.failed());
  }  // the thread ended: what it saw is all it will see
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
}

}  // namespace
}  // namespace platform
