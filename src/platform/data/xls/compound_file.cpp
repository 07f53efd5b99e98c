#include "platform/data/xls/compound_file.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage/codepage.h"
#include "platform/data/sheet/damage.h"
#include "platform/data/xls/byte_order.h"
#include "platform/runtime/ascii.h"

namespace platform::data::xls {
namespace {

// Header fields (byte offsets).
constexpr std::size_t kHeaderMajorVersion = 26;
constexpr std::size_t kHeaderSectorShift = 30;
constexpr std::size_t kHeaderMiniSectorShift = 32;
constexpr std::size_t kHeaderFirstDirectorySector = 48;
constexpr std::size_t kHeaderFirstMiniFatSector = 60;
constexpr std::size_t kHeaderFirstDifatSector = 68;
constexpr std::size_t kHeaderDifat = 76;  // the first 109 FAT sector numbers
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::uint8_t kStreamEntry = 2;
constexpr std::uint8_t kRootEntry = 5;

// A stream read straight from the file through its sector chain, so the
// workbook's bytes are never held twice. Sectors that follow each other
// in the file are merged into runs, so a sequential read is one system
// call per buffer rather than one per sector.
class SectorStream : public RandomAccessFile {
 public:
  struct Run {
    std::uint64_t stream_offset;
    std::uint64_t file_offset;
    std::uint64_t length;
  };
  SectorStream(const RandomAccessFile& file, std::vector<Run> runs, std::uint64_t size)
      : file_(file), runs_(std::move(runs)), size_(size) {}

  std::uint64_t Size() const override { return size_; }

  std::size_t Read(std::uint64_t offset, std::size_t n, char* out) const override {
    if (offset >= size_) return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
    auto it = std::upper_bound(runs_.begin(), runs_.end(), offset,
                               [](std::uint64_t o, const Run& r) { return o < r.stream_offset; });
    std::size_t done = 0;
    for (--it; done < n && it != runs_.end(); ++it) {
      const std::uint64_t within = offset + done - it->stream_offset;
      const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n - done, it->length - within));
      const std::size_t got = file_.Read(it->file_offset + within, take, out + done);
      done += got;
      if (got < take) break;
    }
    return done;
  }

 private:
  const RandomAccessFile& file_;
  std::vector<Run> runs_;
  std::uint64_t size_;
};

}  // namespace

bool HasCompoundSignature(std::string_view first_bytes) {
  return first_bytes.substr(0, 8) == std::string_view(kCompoundFileSignature, 8);
}

std::unique_ptr<CompoundFile> CompoundFile::Parse(const RandomAccessFile& file) {
  char header[kCompoundHeaderSize] = {};
  if (file.Read(0, sizeof header, header) < sizeof header) sheet::RaiseDamaged("复合文件头不完整");
  if (!HasCompoundSignature(std::string_view(header, 8))) sheet::RaiseDamaged("不是复合文件");
  const auto* h = reinterpret_cast<const unsigned char*>(header);
  std::unique_ptr<CompoundFile> compound(new CompoundFile(file));
  compound->ReadGeometry(h);
  compound->ReadFat(compound->FatSectors(h));
  compound->ReadDirectory(Le32(h + kHeaderFirstDirectorySector), Le16(h + kHeaderMajorVersion) == 3);
  compound->ReadMiniStream(Le32(h + kHeaderFirstMiniFatSector));
  return compound;
}

void CompoundFile::ReadGeometry(const unsigned char* h) {
  // Writers in the wild put odd shifts here; these are what readers fall
  // back to.
  sector_shift_ = Le16(h + kHeaderSectorShift);
  mini_sector_shift_ = Le16(h + kHeaderMiniSectorShift);
  if (sector_shift_ < 7 || sector_shift_ > 20) sector_shift_ = 9;
  if (mini_sector_shift_ < 2 || mini_sector_shift_ >= sector_shift_) mini_sector_shift_ = 6;

  const std::uint64_t sector_size = std::uint64_t{1} << sector_shift_;
  const std::uint64_t file_size = file_.Size();
  // The header fills sector -1; a short last sector still counts.
  const std::uint64_t data_bytes = file_size > sector_size ? file_size - sector_size : 0;
  sectors_in_file_ = static_cast<std::uint32_t>(
      std::min<std::uint64_t>((data_bytes + sector_size - 1) / sector_size, kMaxRegularSector));
}

std::vector<std::uint32_t> CompoundFile::FatSectors(const unsigned char* h) const {
  // 109 in the header, the rest in the DIFAT chain; only as many as can
  // describe the sectors the file really has.
  const std::uint64_t sector_size = std::uint64_t{1} << sector_shift_;
  const std::uint64_t entries_per_sector = sector_size / 4;
  const std::uint64_t needed = (sectors_in_file_ + entries_per_sector - 1) / entries_per_sector;
  std::vector<std::uint32_t> fat_sectors;
  auto add = [&](std::uint32_t id) {
    if (id < kMaxRegularSector && fat_sectors.size() < needed) fat_sectors.push_back(id);
  };
  for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) add(Le32(h + kHeaderDifat + 4 * i));
  std::vector<bool> seen(sectors_in_file_);
  std::string sector(static_cast<std::size_t>(sector_size), '\0');
  std::uint32_t difat = Le32(h + kHeaderFirstDifatSector);
  while (difat < kMaxRegularSector && fat_sectors.size() < needed) {
    if (difat >= sectors_in_file_) sheet::RaiseDamaged("DIFAT 扇区超出文件");
    if (seen[difat]) sheet::RaiseDamaged("DIFAT 扇区链循环");
    seen[difat] = true;
    std::fill(sector.begin(), sector.end(), '\0');
    file_.Read(SectorOffset(difat), sector.size(), sector.data());
    const auto* p = reinterpret_cast<const unsigned char*>(sector.data());
    for (std::uint64_t i = 0; i + 1 < entries_per_sector; ++i) add(Le32(p + 4 * i));
    difat = Le32(p + 4 * (entries_per_sector - 1));
  }
  return fat_sectors;
}

void CompoundFile::ReadFat(const std::vector<std::uint32_t>& fat_sectors) {
  // A FAT sector outside the file reads as free sectors: chains through it
  // then fail with a clear message instead of reading garbage.
  const std::size_t sector_size = std::size_t{1} << sector_shift_;
  const std::size_t entries_per_sector = sector_size / 4;
  fat_.assign(fat_sectors.size() * entries_per_sector, kFreeSector);
  std::string sector(sector_size, '\0');
  for (std::size_t k = 0; k < fat_sectors.size(); ++k) {
    if (fat_sectors[k] >= sectors_in_file_) continue;
    std::fill(sector.begin(), sector.end(), '\xFF');
    file_.Read(SectorOffset(fat_sectors[k]), sector.size(), sector.data());
    const auto* p = reinterpret_cast<const unsigned char*>(sector.data());
    for (std::size_t i = 0; i < entries_per_sector; ++i) fat_[k * entries_per_sector + i] = Le32(p + 4 * i);
  }
  if (fat_.size() > sectors_in_file_) fat_.resize(sectors_in_file_);
}

void CompoundFile::ReadDirectory(std::uint32_t first_sector, bool version3) {
  const std::string directory = ReadSectors(Chain(fat_, first_sector, 0, "目录"));
  const std::size_t entry_count = directory.size() / kDirectoryEntrySize;
  entries_.resize(entry_count);
  for (std::size_t i = 0; i < entry_count; ++i) {
    const auto* e = reinterpret_cast<const unsigned char*>(directory.data()) + i * kDirectoryEntrySize;
    Entry& entry = entries_[i];
    const std::size_t name_bytes = std::min<std::size_t>(Le16(e + 64), 64);
    std::size_t units = name_bytes / 2;
    if (units > 0) --units;  // the terminating null
    codepage::AppendUtf16Le(e, units, entry.name);
    entry.type = e[66];
    entry.left = Le32(e + 68);
    entry.right = Le32(e + 72);
    entry.child = Le32(e + 76);
    entry.start = Le32(e + 116);
    // Version 3 files may leave garbage in the high half of the size.
    entry.size = version3 ? Le32(e + 120) : Le64(e + 120);
  }
  if (entries_.empty() || entries_[0].type != kRootEntry) sheet::RaiseDamaged("没有根目录项");
}

void CompoundFile::ReadMiniStream(std::uint32_t mini_fat_first) {
  if (mini_fat_first < kMaxRegularSector) {
    const std::string mini_fat = ReadSectors(Chain(fat_, mini_fat_first, 0, "小扇区分配表"));
    mini_fat_.resize(mini_fat.size() / 4);
    for (std::size_t i = 0; i < mini_fat_.size(); ++i) {
      mini_fat_[i] = Le32(reinterpret_cast<const unsigned char*>(mini_fat.data()) + 4 * i);
    }
  }
  // The mini stream is the root entry's data.
  const Entry& root = entries_[0];
  if (root.start < kMaxRegularSector && root.size > 0) {
    const std::uint64_t sector_size = std::uint64_t{1} << sector_shift_;
    const std::uint64_t max_sectors = (root.size + sector_size - 1) / sector_size;
    mini_stream_sectors_ = Chain(fat_, root.start,
                                 static_cast<std::size_t>(std::min<std::uint64_t>(max_sectors, sectors_in_file_)),
                                 "小流");
    mini_stream_size_ = std::min<std::uint64_t>(root.size, mini_stream_sectors_.size() * sector_size);
  }
}

std::uint64_t CompoundFile::SectorOffset(std::uint32_t sector) const {
  return (static_cast<std::uint64_t>(sector) + 1) << sector_shift_;
}

std::vector<std::uint32_t> CompoundFile::Chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                                               std::size_t max_sectors, const char* what) const {
  std::vector<std::uint32_t> out;
  std::vector<bool> seen(table.size());
  std::uint32_t s = start;
  while (s != kEndOfChain) {
    if (max_sectors != 0 && out.size() == max_sectors) break;
    if (s >= table.size()) sheet::RaiseDamaged(std::string(what) + "的扇区链越界或中断");
    if (seen[s]) sheet::RaiseDamaged(std::string(what) + "的扇区链循环");
    seen[s] = true;
    out.push_back(s);
    s = table[s];
  }
  return out;
}

std::string CompoundFile::ReadSectors(const std::vector<std::uint32_t>& sectors) const {
  const std::size_t sector_size = std::size_t{1} << sector_shift_;
  std::string out(sectors.size() * sector_size, '\0');
  for (std::size_t i = 0; i < sectors.size(); ++i) {
    file_.Read(SectorOffset(sectors[i]), sector_size, out.data() + i * sector_size);
  }
  return out;
}

const CompoundFile::Entry* CompoundFile::FindRootChild(std::string_view name) const {
  // The children of a storage form a binary tree through left/right.
  std::vector<bool> seen(entries_.size());
  std::vector<std::uint32_t> pending{entries_[0].child};
  while (!pending.empty()) {
    const std::uint32_t id = pending.back();
    pending.pop_back();
    if (id >= entries_.size() || seen[id]) continue;
    seen[id] = true;
    const Entry& e = entries_[id];
    if (e.type == kStreamEntry && ascii::EqualsIgnoringCase(e.name, name)) return &e;
    pending.push_back(e.left);
    pending.push_back(e.right);
  }
  return nullptr;
}

bool CompoundFile::HasStream(std::string_view name) const { return FindRootChild(name) != nullptr; }

std::unique_ptr<RandomAccessFile> CompoundFile::OpenStream(std::string_view name) const {
  const Entry* entry = FindRootChild(name);
  if (entry == nullptr) return nullptr;
  if (entry->size == 0) return std::make_unique<OwnedMemoryFile>(std::string());

  if (entry->size < kMiniStreamCutoff) {
    const std::uint64_t mini_size = std::uint64_t{1} << mini_sector_shift_;
    const std::uint64_t sector_size = std::uint64_t{1} << sector_shift_;
    const auto max = static_cast<std::size_t>((entry->size + mini_size - 1) / mini_size);
    const std::vector<std::uint32_t> chain = Chain(mini_fat_, entry->start, max, "小流");
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(entry->size));
    for (const std::uint32_t mini : chain) {
      const std::uint64_t at = static_cast<std::uint64_t>(mini) << mini_sector_shift_;
      if (at >= mini_stream_size_) sheet::RaiseDamaged("小扇区超出小流");
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(mini_size, mini_stream_size_ - at));
      const std::uint32_t sector = mini_stream_sectors_[static_cast<std::size_t>(at / sector_size)];
      const std::size_t old = bytes.size();
      bytes.resize(old + n);
      const std::size_t got = file_.Read(SectorOffset(sector) + at % sector_size, n, bytes.data() + old);
      bytes.resize(old + got);
      if (got < n) break;
    }
    if (bytes.size() > entry->size) bytes.resize(static_cast<std::size_t>(entry->size));
    // Small streams (from the mini stream) are held in memory.
    return std::make_unique<OwnedMemoryFile>(std::move(bytes));
  }

  const std::uint64_t sector_size = std::uint64_t{1} << sector_shift_;
  const std::uint64_t max_sectors = (entry->size + sector_size - 1) / sector_size;
  const std::vector<std::uint32_t> chain = Chain(
      fat_, entry->start, static_cast<std::size_t>(std::min<std::uint64_t>(max_sectors, sectors_in_file_)), "数据流");
  const std::uint64_t file_size = file_.Size();
  std::vector<SectorStream::Run> runs;
  std::uint64_t total = 0;
  for (const std::uint32_t s : chain) {
    const std::uint64_t at = SectorOffset(s);
    const std::uint64_t length = at < file_size ? std::min(sector_size, file_size - at) : 0;
    if (length == 0) break;
    if (!runs.empty() && runs.back().file_offset + runs.back().length == at &&
        runs.back().length % sector_size == 0) {
      runs.back().length += length;
    } else {
      runs.push_back({total, at, length});
    }
    total += length;
    if (length < sector_size) break;  // the file's short last sector
  }
  return std::make_unique<SectorStream>(file_, std::move(runs), std::min(entry->size, total));
}

}  // namespace platform::data::xls
