#include "platform/data/connection_text.h"

#include <gtest/gtest.h>

#include "platform/runtime/error.h"
#include "support/errors.h"

namespace platform::data {
namespace {

std::string JetText(const std::string& path) { return WorkbookConnectionText(path); }
std::string DbaseText(const std::string& folder) { return DbaseConnectionText(folder); }

// The texts are the old drivers' own, letter for letter: the spelling
// mistakes are theirs and stay.
TEST(ConnectionTextTest, BuildsTheTwoTextsLetterForLetter) {
  EXPECT_EQ(WorkbookConnectionText("D:\\in\\book.xls"),
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=D:\\in\\book.xls;"
            "Extended Properties=\"Excel 8.0;HDR=Yes;\";");
  const std::string dbase = DbaseConnectionText("D:\\out");
  EXPECT_EQ(dbase,
            "Provider=MSDASQL.1;Persist Security Info=False;Extended "
            "Properties=\"CollatingSeuence=ASCII;DefaultDir=D:\\out"
            ";Deleted=0;Driver={Microsoft dBase Driver (*.dbf)};DriverId=21;FIL=dBase "
            "IIV;MaxBufferSize=14048;MaxScanRows=8;PageTimeout=5;SafeTransactions=0;"
            "Statistics=0;Threads=3;UID=admin;UserCommitSync=Yes;\"");
  EXPECT_EQ(dbase.find("D:\\out"), 102U);  // the fixed head is 102 characters
  EXPECT_EQ(dbase.size() - dbase.find("D:\\out") - 6, 197U);  // ";" and the 196 of the tail
}

// Paths holding every character that could confuse a key=value parser.
const char* const kOddPaths[] = {
    "/data/book.xls",
    "D:\\in\\book.xls",
    "/tmp/a;b=c/\"q\"/it's (1) [x] {y}.xls",
    "/数据/工作簿 2024.xls",
    "/tmp/x;Extended Properties=\"Excel 8.0;HDR=Yes;\";y.xls",
    "/tmp/;Deleted=0;Driver=",
    "",
};

TEST(ConnectionTextTest, WorkbookPathIsTakenWhateverItHolds) {
  for (const char* path : kOddPaths) {
    const ConnectionTarget target = ParseConnectionText(JetText(path));
    EXPECT_EQ(target.kind, ConnectionTarget::Kind::kWorkbook);
    EXPECT_EQ(target.location, path);
  }
}

TEST(ConnectionTextTest, DbaseFolderIsTakenWhateverItHolds) {
  for (const char* folder : kOddPaths) {
    const ConnectionTarget target = ParseConnectionText(DbaseText(folder));
    EXPECT_EQ(target.kind, ConnectionTarget::Kind::kDbase);
    EXPECT_EQ(target.location, folder);
  }
}

TEST(ConnectionTextTest, OtherTextsAreRefusedClearly) {
  const struct {
    std::string text;
    int number;
  } cases[] = {
      {"", err::kBadConnectionText},
      {"Data Source=/x.xls", err::kBadConnectionText},
      {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/x.xlsx;Extended Properties=\"Excel 12.0;\";",
       err::kUnknownProvider},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x.xls", err::kBadConnectionText},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x.xls;Extended Properties=\"Excel 5.0;HDR=Yes;\";",
       err::kUnknownProvider},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x.xls;Extended Properties=\"Excel 8.0;HDR=No;\";",
       err::kNotSupported},
      {"Provider=MSDASQL.1;Extended Properties=\"DefaultDir=/x;Deleted=0;Driver={Microsoft Excel Driver "
       "(*.xls)};DriverId=790;\"",
       err::kUnknownProvider},
      {"Provider=MSDASQL.1;Extended Properties=\"DefaultDir=/x;Deleted=0;Driver={Microsoft dBase Driver "
       "(*.dbf)};DriverId=277;\"",
       err::kUnknownProvider},
      {"Provider=MSDASQL.1;Extended Properties=\"DefaultDir=/x;\"", err::kBadConnectionText},
  };
  for (const auto& c : cases) {
    const Error e = testing_support::ErrorOf([&] { ParseConnectionText(c.text); });
    EXPECT_EQ(e.number(), c.number) << c.text << " -> " << e.description();
    EXPECT_FALSE(e.description().empty());
  }
}

}  // namespace
}  // namespace platform::data
