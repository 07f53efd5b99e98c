#pragma once

#include <memory>
#include <string>

#include "platform/data/provider.h"
#include "support/fault_plan.h"

namespace testing_support {

// Wraps a provider factory (the real providers, usually) and fails the
// Nth call of one operation with a chosen error (see FaultPlan), before
// the call reaches the wrapped provider; everything else passes through.
// Counts the sessions alive, so tests can tell that a failed run released
// them all.

class FaultyProviders : public platform::data::ProviderFactory, public FaultPlan<ProviderOp> {
 public:
  using Op = ProviderOp;

  explicit FaultyProviders(platform::data::ProviderFactory& inner) : inner_(inner) {}

  int live_sessions() const { return live_sessions_; }
  void SessionGone() { --live_sessions_; }

  std::unique_ptr<platform::data::Session> OpenWorkbook(std::string_view path) override;
  std::unique_ptr<platform::data::Session> OpenDbase(std::string_view folder) override;

 private:
  platform::data::ProviderFactory& inner_;
  int live_sessions_ = 0;
};

}  // namespace testing_support
