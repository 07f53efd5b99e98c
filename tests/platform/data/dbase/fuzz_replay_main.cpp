// Replays fuzz inputs (the seeds and every input that once found a fault)
// through the statement fuzzer's harness in the ordinary build, so that CI
// keeps them fixed without libFuzzer.
//
//   dbase_fuzz_replay FILE...
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::cerr << "cannot read " << argv[i] << '\n';
      return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    // Odd and even lengths take the two endings (Close, or dropped).
    const std::string longer = bytes + "\n";
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(longer.data()), longer.size());
  }
  std::cout << argc - 1 << " inputs replayed\n";
  return 0;
}
