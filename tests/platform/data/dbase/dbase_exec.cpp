// Runs statements through a dBase session, for readers outside this
// program to check the files it writes.
//
//   dbase_exec FOLDER YYYY-MM-DD [--no-close] < statements
//
// Statements come on standard input, each ended by a NUL byte. Prints each
// warning as "WARNING <text>" and an error as "ERROR <number> <text>"
// (exit 2). With --no-close the session is dropped without Close, as a run
// that failed mid-way drops it.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "platform/data/dbase/dbase_provider.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: dbase_exec FOLDER YYYY-MM-DD [--no-close] < statements\n";
    return 1;
  }
  platform::LocalTime date;
  if (std::sscanf(argv[2], "%d-%d-%d", &date.year, &date.month, &date.day) != 3) return 1;
  const bool close = !(argc > 3 && std::string(argv[3]) == "--no-close");
  const platform::FixedClock clock(date);
  const std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());

  int status = 0;
  auto session = platform::data::dbase::OpenDbaseSession(platform::RealFileSystem(), clock, argv[1]);
  try {
    for (std::size_t start = 0; start < input.size();) {
      std::size_t end = input.find('\0', start);
      if (end == std::string::npos) end = input.size();
      session->Execute(std::string_view(input).substr(start, end - start));
      start = end + 1;
    }
    if (close) session->Close();
  } catch (const platform::Error& e) {
    std::cout << "ERROR " << e.number() << ' ' << e.description() << '\n';
    status = 2;
  }
  for (const std::string& warning : session->DataWarnings().Lines()) std::cout << "WARNING " << warning << '\n';
  return status;
}
