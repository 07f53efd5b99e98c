#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/xlsx/xml/xml_scanner.h"
#include "platform/data/zip/zip_archive.h"

// The package of an Office Open XML file: parts (ZIP entries) named like
// paths, and relationship parts (_rels/<name>.rels) that say which part
// plays which role. Readers find parts through relationships, never by
// fixed names.
namespace platform::data::xlsx {

// A part opened for scanning: its entry streamed through inflate into the
// XML scanner, piece by piece.
class PartScanner {
 public:
  // Raises kWorkbookDamaged when the part is missing.
  PartScanner(const zip::ZipArchive& zip, const std::string& part);
  ~PartScanner();
  xml::Scanner& scanner() { return *scanner_; }

 private:
  class EntryInput;
  std::unique_ptr<EntryInput> input_;
  std::unique_ptr<xml::Scanner> scanner_;
};

struct Relationship {
  std::string id;
  std::string type;    // the last segment of the type URI: "officeDocument", "worksheet", ...
  std::string target;  // the part it names, resolved against the source ("" when external)
};

// The relationships of source_part ("" for the package itself), in
// document order; empty when it has no relationship part. Raises
// kWorkbookDamaged for a relationship part that is not well-formed.
std::vector<Relationship> ReadRelationships(const zip::ZipArchive& zip, std::string_view source_part);

// The relationship part of a part: "xl/workbook.xml" has
// "xl/_rels/workbook.xml.rels", the package "_rels/.rels".
std::string RelationshipsPartOf(std::string_view part);

// A relationship's target as a part name: relative to the folder of the
// source part, or absolute with a leading "/"; "." and ".." segments
// resolved, %XX escapes decoded, a "#fragment" dropped. "" when the target
// leaves the package.
std::string ResolveTarget(std::string_view source_part, std::string_view target);

}  // namespace platform::data::xlsx
