#include "common/dbf/ntx_redo.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/errors.h"

namespace durva::dbf {

namespace {

constexpr unsigned char kMagic[8] = {'N', 'T', 'X', 'R', 'E', 'D', 'O', '1'};
constexpr size_t kHeadSize = 48;
constexpr size_t kRecordSize = 4 + kNtxPageSize;
constexpr size_t kSumSize = 8;
// Records written or read at once.
constexpr size_t kChunkRecords = 64;
// The last page a pager ever makes starts below this.
constexpr std::uint64_t kOffsetLimit = 0xFFFFFC00ULL - kNtxPageSize;

constexpr std::uint64_t kFnvBasis = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

std::uint64_t fnv(std::uint64_t h, const unsigned char* p, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        h ^= p[i];
        h *= kFnvPrime;
    }
    return h;
}

void store64(unsigned char* p, std::uint64_t v) {
    ntx_store32(p, static_cast<std::uint32_t>(v));
    ntx_store32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

std::uint64_t load64(const unsigned char* p) {
    return static_cast<std::uint64_t>(ntx_load32(p)) | (static_cast<std::uint64_t>(ntx_load32(p + 4)) << 32);
}

struct Head {
    std::uint32_t pages = 0;
    std::uint64_t old_end = 0;
    NtxHeaderPrefix before, after;
};

// The head of a whole, well-formed record, or false for one cut short or
// not of our making.
bool read_whole(const platform::OwnFile& f, Head& head, std::vector<unsigned char>& buf) {
    const std::uint64_t size = f.size();
    if (size < kHeadSize + kSumSize || (size - kHeadSize - kSumSize) % kRecordSize != 0) return false;
    unsigned char h[kHeadSize];
    if (f.read_at(h, kHeadSize, 0) != kHeadSize) return false;
    if (std::memcmp(h, kMagic, sizeof kMagic) != 0 || ntx_load32(h + 12) != 0) return false;
    head.pages = ntx_load32(h + 8);
    if (head.pages != (size - kHeadSize - kSumSize) / kRecordSize) return false;
    head.old_end = load64(h + 16);
    head.before = NtxHeaderPrefix::read(h + 24);
    head.after = NtxHeaderPrefix::read(h + 36);
    if (head.old_end > 0xFFFFFFFFULL || head.before.signature != head.after.signature) return false;

    std::uint64_t sum = fnv(kFnvBasis, h, kHeadSize);
    std::uint64_t end = head.old_end;
    buf.resize(std::min<size_t>(head.pages, kChunkRecords) * kRecordSize);
    for (std::uint32_t i = 0; i < head.pages;) {
        const size_t n = std::min<size_t>(kChunkRecords, head.pages - i);
        const size_t len = n * kRecordSize;
        if (f.read_at(buf.data(), len, kHeadSize + std::uint64_t{i} * kRecordSize) != len) return false;
        sum = fnv(sum, buf.data(), len);
        for (size_t r = 0; r < n; ++r) {
            const std::uint32_t off = ntx_load32(buf.data() + r * kRecordSize);
            if (off < kNtxPageSize || off % kNtxPageSize != 0 || off > kOffsetLimit) return false;
            end = std::max<std::uint64_t>(end, off + std::uint64_t{kNtxPageSize});
        }
        i += static_cast<std::uint32_t>(n);
    }
    unsigned char stored[kSumSize];
    if (f.read_at(stored, kSumSize, size - kSumSize) != kSumSize || load64(stored) != sum) return false;
    // The header it leaves must name pages of the file it leaves.
    if (!ntx_page_offset_ok(head.after.root, end)) return false;
    if (head.after.free_list != 0 && !ntx_page_offset_ok(head.after.free_list, end)) return false;
    return true;
}

// The header still needs the update's bytes: it is as it was before, or its
// write was cut short (every byte is the old one or the new one; a header
// that went on past the update differs in its version).
bool header_behind(const unsigned char* now, const Head& head) {
    unsigned char before[12], after[12];
    head.before.write(before);
    head.after.write(after);
    if (std::memcmp(now, after, sizeof after) == 0) return false;
    for (size_t i = 0; i < sizeof before; ++i)
        if (now[i] != before[i] && now[i] != after[i]) return false;
    return true;
}

}  // namespace

std::string ntx_redo_path(const std::string& index_path) {
    std::filesystem::path p(index_path);
    std::string name = p.stem().string();
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return (p.parent_path() / (name + ".ntu")).string();
}

NtxRedoWriter::NtxRedoWriter(const std::string& side_path, std::uint64_t old_end, const NtxHeaderPrefix& before,
                             const NtxHeaderPrefix& after, std::uint32_t pages)
    : hash_(kFnvBasis) {
    file_ = platform::OwnFile::make(side_path);
    buf_.reserve(std::min<size_t>(pages, kChunkRecords) * kRecordSize + kHeadSize + kSumSize);
    unsigned char h[kHeadSize] = {};
    std::memcpy(h, kMagic, sizeof kMagic);
    ntx_store32(h + 8, pages);
    store64(h + 16, old_end);
    before.write(h + 24);
    after.write(h + 36);
    append(h, kHeadSize);
}

NtxRedoWriter::~NtxRedoWriter() {
    if (finished_ || !file_) return;
    try {
        file_->empty();
    } catch (const DbError&) {
        // A record cut short is emptied by whoever comes next.
    }
}

void NtxRedoWriter::append(const void* bytes, size_t len) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    hash_ = fnv(hash_, p, len);
    buf_.insert(buf_.end(), p, p + len);
}

void NtxRedoWriter::write_out() {
    if (buf_.empty()) return;
    file_->write_at(buf_.data(), buf_.size(), written_);
    written_ += buf_.size();
    buf_.clear();
}

void NtxRedoWriter::add(std::uint32_t offset, const unsigned char* page) {
    unsigned char off[4];
    ntx_store32(off, offset);
    append(off, sizeof off);
    append(page, kNtxPageSize);
    if (buf_.size() >= kChunkRecords * kRecordSize) write_out();
}

void NtxRedoWriter::finish() {
    unsigned char sum[kSumSize];
    store64(sum, hash_);
    buf_.insert(buf_.end(), sum, sum + kSumSize);
    write_out();
    finished_ = true;
}

void NtxRedoWriter::done() {
    file_->empty();
    file_.reset();
}

bool ntx_mend(platform::File& index, const std::string& side_path) {
    std::unique_ptr<platform::OwnFile> f = platform::OwnFile::open_filled(side_path);
    if (!f) return false;
    Head head;
    std::vector<unsigned char> buf;
    unsigned char now[12];
    if (!read_whole(*f, head, buf) || index.read_at(now, sizeof now, 0) != sizeof now || !header_behind(now, head)) {
        f->empty();
        return false;
    }
    // The pages in the record's order (new ones first), then the header.
    for (std::uint32_t i = 0; i < head.pages;) {
        const size_t n = std::min<size_t>(kChunkRecords, head.pages - i);
        const size_t len = n * kRecordSize;
        if (f->read_at(buf.data(), len, kHeadSize + std::uint64_t{i} * kRecordSize) != len)
            throw DbError("Nie moge naprawic indeksu (zapis zmian obciety)", side_path);
        for (size_t r = 0; r < n; ++r) {
            const unsigned char* rec = buf.data() + r * kRecordSize;
            index.write_at(rec + 4, kNtxPageSize, ntx_load32(rec));
        }
        i += static_cast<std::uint32_t>(n);
    }
    head.after.write(now);
    index.write_at(now, sizeof now, 0);
    f->empty();
    return true;
}

}  // namespace durva::dbf
