#pragma once

#include <string>
#include <vector>

namespace cli {

// The command line on this process: its console, the real file system,
// clock and providers. args are the arguments after the program name, in
// UTF-8. Returns the exit status.
int RunProcess(const std::vector<std::string>& args);

}  // namespace cli
