// Prints the first table of a workbook as the conversion run reads it, one
// JSON line for the table and one per data row, for comparison with other
// readers (xls_oracle.py, xls_corpus.py):
//   {"table": "Sheet1$", "fields": [["名称", 4], ...], "rows": 2}
//   [["t", "苹果"], ["n", "3.1400000000000001"], ["d", "45000.5", "2023-03-15 12:00:00"], ["b", true], null]
// A failure prints {"error": number, "description": "..."} and exits 2.
#include <cstdio>
#include <string>

#include "platform/data/connection.h"
#include "platform/data/providers/providers.h"
#include "platform/data/connection_text.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"

namespace {

void AppendJson(std::string_view text, std::string& out) {
  out += '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
      out += buffer;
    } else {
      out += c;
    }
  }
  out += '"';
}

void AppendExact(double value, std::string& out) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  AppendJson(buffer, out);
}

void AppendValue(const platform::Variant& v, std::string& out) {
  switch (v.kind()) {
    case platform::Variant::Kind::kNull:
      out += "null";
      return;
    case platform::Variant::Kind::kText:
      out += "[\"t\", ";
      AppendJson(v.text(), out);
      break;
    case platform::Variant::Kind::kNumber:
      out += "[\"n\", ";
      AppendExact(v.number(), out);
      break;
    case platform::Variant::Kind::kDate:
      out += "[\"d\", ";
      AppendExact(v.number(), out);
      out += ", ";
      AppendJson(v.ToText(), out);
      break;
    case platform::Variant::Kind::kBoolean:
      out += v.boolean() ? "[\"b\", true" : "[\"b\", false";
      break;
  }
  out += ']';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xls_dump WORKBOOK\n");
    return 64;
  }
  using namespace platform::data;
  try {
    const auto providers = MakeProviders(platform::RealFileSystem(), platform::SystemClock());
    Connection connection(*providers);
    connection.Open(WorkbookConnectionText(argv[1]));
    std::string table;
    {
      auto schema = connection.OpenSchema(adSchemaTables);
      if (!schema->IsEOF()) {
        schema->MoveFirst();
        table = platform::ascii::WithoutApostrophes(schema->fields()[2].Value().ToText());
      }
    }
    Recordset rs;
    rs.Open(platform::Variant::Text("select * from  [" + table + "]"), connection);
    std::string line = "{\"table\": ";
    AppendJson(table, line);
    line += ", \"fields\": [";
    const int count = rs.fields().Count();
    for (int i = 0; i < count; ++i) {
      if (i > 0) line += ", ";
      line += '[';
      AppendJson(rs.fields()[i].Name(), line);
      line += ", " + std::to_string(rs.fields()[i].DefinedSize()) + ']';
    }
    line += "], \"rows\": " + std::to_string(rs.RecordCount()) + "}\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    for (; !rs.IsEOF(); rs.MoveNext()) {
      line = "[";
      for (int i = 0; i < count; ++i) {
        if (i > 0) line += ", ";
        AppendValue(rs.fields()[i].Value(), line);
      }
      line += "]\n";
      std::fwrite(line.data(), 1, line.size(), stdout);
    }
  } catch (const platform::Error& e) {
    std::string line = "{\"error\": " + std::to_string(e.number()) + ", \"description\": ";
    AppendJson(e.description(), line);
    line += "}\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    return 2;
  }
  return 0;
}
