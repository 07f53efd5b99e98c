#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/data/provider.h"

namespace testing_support {

// Wraps a provider factory (the real providers, usually) and fails the
// Nth call of one operation with a chosen error, before the call reaches
// the wrapped provider; everything else passes through. Counts the
// sessions alive, so tests can tell that a failed run released them all.
class FaultyProviders : public platform::data::ProviderFactory {
 public:
  // kExecute counts the dBase side only: CREATE TABLE is the first call,
  // the k-th insert the (k+1)-th. kClose likewise.
  enum class Op { kOpenWorkbook, kOpenDbase, kQuery, kExecute, kClose };

  explicit FaultyProviders(platform::data::ProviderFactory& inner) : inner_(inner) {}

  void FailAt(Op op, int nth, int number, std::string description) {
    op_ = op;
    nth_ = nth;
    number_ = number;
    description_ = std::move(description);
  }
  int calls(Op op) const {
    const auto it = counts_.find(op);
    return it == counts_.end() ? 0 : it->second;
  }
  int live_sessions() const { return live_sessions_; }

  // Counts the call; raises the chosen error when it is the one to fail.
  void Check(Op op);
  void SessionGone() { --live_sessions_; }

  std::unique_ptr<platform::data::Session> OpenWorkbook(std::string_view path) override;
  std::unique_ptr<platform::data::Session> OpenDbase(std::string_view folder) override;

 private:
  platform::data::ProviderFactory& inner_;
  Op op_ = Op::kOpenWorkbook;
  int nth_ = 0;
  int number_ = 0;
  std::string description_;
  std::map<Op, int> counts_;
  int live_sessions_ = 0;
};

}  // namespace testing_support
