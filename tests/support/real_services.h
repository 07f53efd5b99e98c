#pragma once

#include "frmexcel/conversion_run.h"
#include "platform/data/provider.h"

namespace testing_support {

// The real providers on the machine's file system and clock, for tests
// that read real fixtures or write under a TempDir.
platform::data::ProviderFactory& RealProviders();
frmexcel::RunServices RealServices();

}  // namespace testing_support
