#include "support/real_services.h"
#include "platform/data/providers/providers.h"

#include <memory>

#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"

namespace testing_support {

platform::data::ProviderFactory& RealProviders() {
  static const std::unique_ptr<platform::data::ProviderFactory> providers =
      platform::data::MakeProviders(platform::RealFileSystem(), platform::SystemClock());
  return *providers;
}

frmexcel::RunServices RealServices() {
  return {platform::RealFileSystem(), platform::SystemClock(), RealProviders()};
}

}  // namespace testing_support
