#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// Error numbers. The low ones follow the runtime numbers users know (6
// overflow, 7 out of memory, 51 internal error, 53 file not found, ...);
// the providers have ranges of their own.
namespace err {
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kInternalError = 51;
inline constexpr int kFileNotFound = 53;
inline constexpr int kFileExists = 58;
inline constexpr int kDiskFull = 61;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kPathNotFound = 76;

// 1000-1099: data-access objects (connection texts, recordset state).
inline constexpr int kBadConnectionText = 1001;
inline constexpr int kUnknownProvider = 1002;
inline constexpr int kConnectionClosed = 1003;
inline constexpr int kConnectionAlreadyOpen = 1004;
inline constexpr int kRecordsetClosed = 1005;
inline constexpr int kNoCurrentRow = 1006;
inline constexpr int kFieldIndexOutOfRange = 1007;
inline constexpr int kNotSupported = 1008;

// 1100-1199: the workbook provider (reading .xls files).
inline constexpr int kNotAWorkbook = 1101;       // not an Excel 97-2003 file
inline constexpr int kWorkbookEncrypted = 1102;  // FILEPASS or encrypted package
inline constexpr int kWorkbookDamaged = 1103;    // structure broken or truncated
inline constexpr int kTableNotFound = 1104;      // select names no worksheet
inline constexpr int kBadStatement = 1105;       // not "select * from  [...]"
inline constexpr int kWorkbookReadOnly = 1106;   // Execute on a workbook

// 1200-1299: the dBase provider (statements and .dbf files).
inline constexpr int kDbaseBadStatement = 1201;       // not a statement we take
inline constexpr int kDbaseUnknownTable = 1202;       // insert into a table not created here
inline constexpr int kDbaseFieldListMismatch = 1203;  // insert names differ from the table's
inline constexpr int kDbaseValueCount = 1204;         // values count differs from fields count
inline constexpr int kDbaseTooManyFields = 1205;
inline constexpr int kDbaseBadFieldWidth = 1206;
inline constexpr int kDbaseBadFieldName = 1207;
inline constexpr int kDbaseSessionClosed = 1208;
inline constexpr int kDbaseTableTooLarge = 1209;
inline constexpr int kDbaseWriteFailed = 1210;        // an earlier write to the table failed
inline constexpr int kDbaseBadQuoting = 1211;         // a value's apostrophes do not pair up
}  // namespace err

// The one error type of the program: a number and a Chinese description.
// Every platform operation that fails throws it; each entry point (a
// button handler, the command line) catches it in one place.
class Error : public std::runtime_error {
 public:
  Error(int number, std::string description);

  int number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }

 private:
  int number_;
  std::string description_;
};

[[noreturn]] void Raise(int number, std::string description);

// The exception being handled, as an Error to report: an Error as it is,
// out of memory as 7, anything else as an internal error (51) with what it
// says. Call only inside a catch block. Never throws.
Error CurrentError() noexcept;

}  // namespace platform
