#include <string>
#include <vector>

#include "cli/process.h"
#include "platform/runtime/utf16.h"

// The arguments as the system has them, in UTF-16 (a narrow main would get
// them in the ANSI code page and lose every character outside it).
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(platform::FromWide(argv[i]));
  return cli::RunProcess(args);
}
