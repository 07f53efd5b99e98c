#include <string>
#include <vector>

#include "cli/process.h"

int main(int argc, char** argv) {
  return cli::RunProcess(std::vector<std::string>(argv + 1, argv + argc));
}
