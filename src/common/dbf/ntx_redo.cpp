#include "common/dbf/ntx_redo.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/errors.h"

namespace durva::dbf {

namespace {

constexpr unsigned char kMark[8] = {'N', 'T', 'X', 'R', 'E', 'D', 'O', '2'};
constexpr unsigned char kOldMark[8] = {'N', 'T', 'X', 'R', 'E', 'D', 'O', '1'};
constexpr size_t kHeadSize = 48;
constexpr size_t kRecordSize = 4 + kNtxPageSize;
constexpr size_t kSumSize = 8;
// Records written or read at once.
constexpr size_t kChunkRecords = 64;
// The last page a pager ever makes starts below this.
constexpr std::uint64_t kOffsetLimit = 0xFFFFFC00ULL - kNtxPageSize;

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t kFnvBasis = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

void store64(unsigned char* p, std::uint64_t v) {
    ntx_store32(p, static_cast<std::uint32_t>(v));
    ntx_store32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

std::uint64_t load64(const unsigned char* p) {
    return static_cast<std::uint64_t>(ntx_load32(p)) | (static_cast<std::uint64_t>(ntx_load32(p + 4)) << 32);
}

std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

enum class Mark { None, Old, Current };

Mark mark_of(const unsigned char* head) {
    if (std::memcmp(head, kMark, sizeof kMark) == 0) return Mark::Current;
    if (std::memcmp(head, kOldMark, sizeof kOldMark) == 0) return Mark::Old;
    return Mark::None;
}

// The checksum a record's mark calls for.
class RecordSum {
public:
    explicit RecordSum(Mark mark) : old_(mark == Mark::Old) {}
    void add(const unsigned char* p, size_t len) {
        if (!old_) {
            sum_.add(p, len);
            return;
        }
        for (size_t i = 0; i < len; ++i) {
            fnv_ ^= p[i];
            fnv_ *= kFnvPrime;
        }
    }
    std::uint64_t value() const { return old_ ? fnv_ : sum_.value(); }

private:
    bool old_;
    std::uint64_t fnv_ = kFnvBasis;
    NtxRedoSum sum_;
};

struct Head {
    std::uint32_t pages = 0;
    std::uint64_t old_end = 0;
    NtxHeaderPrefix before, after;
};

// The head of a whole, well-formed record, or false for one cut short or
// not of our making.
bool read_whole(const platform::OwnFile& f, Head& head, std::vector<unsigned char>& buf) {
    const std::uint64_t size = f.size();
    unsigned char h[kHeadSize];
    if (size < kHeadSize + kSumSize || f.read_at(h, kHeadSize, 0) != kHeadSize) return false;
    const Mark mark = mark_of(h);
    if (mark == Mark::None || ntx_load32(h + 12) != 0) return false;
    head.pages = ntx_load32(h + 8);
    const std::uint64_t length = kHeadSize + std::uint64_t{head.pages} * kRecordSize;
    if (size < length + kSumSize) return false;
    head.old_end = load64(h + 16);
    head.before = NtxHeaderPrefix::read(h + 24);
    head.after = NtxHeaderPrefix::read(h + 36);
    if (head.old_end > 0xFFFFFFFFULL || head.before.signature != head.after.signature) return false;

    RecordSum sum(mark);
    sum.add(h, kHeadSize);
    std::uint64_t end = head.old_end;
    buf.resize(std::min<size_t>(head.pages, kChunkRecords) * kRecordSize);
    for (std::uint32_t i = 0; i < head.pages;) {
        const size_t n = std::min<size_t>(kChunkRecords, head.pages - i);
        const size_t len = n * kRecordSize;
        if (f.read_at(buf.data(), len, kHeadSize + std::uint64_t{i} * kRecordSize) != len) return false;
        sum.add(buf.data(), len);
        for (size_t r = 0; r < n; ++r) {
            const std::uint32_t off = ntx_load32(buf.data() + r * kRecordSize);
            if (off < kNtxPageSize || off % kNtxPageSize != 0 || off > kOffsetLimit) return false;
            end = std::max<std::uint64_t>(end, off + std::uint64_t{kNtxPageSize});
        }
        i += static_cast<std::uint32_t>(n);
    }
    unsigned char stored[kSumSize];
    if (f.read_at(stored, kSumSize, length) != kSumSize || load64(stored) != sum.value()) return false;
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

bool starts_with_mark(const platform::OwnFile& f) {
    unsigned char m[sizeof kMark];
    return f.read_at(m, sizeof m, 0) == sizeof m && mark_of(m) != Mark::None;
}

}  // namespace

void NtxRedoSum::round(const unsigned char* p) {
    for (int i = 0; i < 4; ++i) lanes_[i] = rotl(lanes_[i] + load64(p + 8 * i) * kPrime2, 31) * kPrime1;
}

void NtxRedoSum::add(const unsigned char* p, size_t len) {
    total_ += len;
    if (fill_ > 0) {
        const size_t take = std::min(sizeof block_ - fill_, len);
        std::memcpy(block_ + fill_, p, take);
        fill_ += take;
        p += take;
        len -= take;
        if (fill_ < sizeof block_) return;
        round(block_);
        fill_ = 0;
    }
    for (; len >= sizeof block_; p += sizeof block_, len -= sizeof block_) round(p);
    if (len > 0) std::memcpy(block_, p, len);
    fill_ = len;
}

std::uint64_t NtxRedoSum::value() const {
    std::uint64_t h = total_ * kPrime1;
    for (std::uint64_t lane : lanes_) h = rotl(h ^ (lane * kPrime2), 27) * kPrime1;
    for (size_t i = 0; i < fill_; ++i) h = rotl(h ^ (block_[i] * kPrime1), 11) * kPrime2;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    return h;
}

std::string ntx_redo_path(const std::string& index_path) {
    std::filesystem::path p(index_path);
    std::string name = p.stem().string();
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return (p.parent_path() / (name + ".ntu")).string();
}

bool ntx_redo_pending(const std::string& side_path) {
    if (!platform::OwnFile::filled(side_path)) return false;
    std::unique_ptr<platform::OwnFile> f = platform::OwnFile::open_filled(side_path);
    return f && starts_with_mark(*f);
}

// The side file as held, opened the first time something stands at its
// name; null while nothing does.
platform::OwnFile* NtxRedo::look() {
    if (!file_) {
        if (!platform::OwnFile::filled(path_)) return nullptr;
        file_ = platform::OwnFile::open_filled(path_);
    }
    return file_.get();
}

bool NtxRedo::mend(platform::File& index) {
    platform::OwnFile* f = look();
    // One read of its mark while nothing is under way.
    if (!f || !starts_with_mark(*f)) return false;
    Head head;
    std::vector<unsigned char>& buf = buf_;
    unsigned char now[12];
    if (!read_whole(*f, head, buf) || index.read_at(now, sizeof now, 0) != sizeof now || !header_behind(now, head)) {
        clear();
        return false;
    }
    // The pages in the record's order (new ones first), then the header.
    for (std::uint32_t i = 0; i < head.pages;) {
        const size_t n = std::min<size_t>(kChunkRecords, head.pages - i);
        const size_t len = n * kRecordSize;
        if (f->read_at(buf.data(), len, kHeadSize + std::uint64_t{i} * kRecordSize) != len)
            throw DbError("Nie moge naprawic indeksu (zapis zmian obciety)", path_);
        for (size_t r = 0; r < n; ++r) {
            const unsigned char* rec = buf.data() + r * kRecordSize;
            index.write_at(rec + 4, kNtxPageSize, ntx_load32(rec));
        }
        i += static_cast<std::uint32_t>(n);
    }
    head.after.write(now);
    index.write_at(now, sizeof now, 0);
    clear();
    return true;
}

void NtxRedo::begin(std::uint64_t old_end, const NtxHeaderPrefix& before, const NtxHeaderPrefix& after,
                    std::uint32_t pages) {
    if (!file_ || !file_->writable()) file_ = platform::OwnFile::make(path_);
    buf_.clear();
    written_ = 0;
    sum_ = NtxRedoSum();
    unsigned char h[kHeadSize] = {};
    std::memcpy(h, kMark, sizeof kMark);
    ntx_store32(h + 8, pages);
    store64(h + 16, old_end);
    before.write(h + 24);
    after.write(h + 36);
    buf_.insert(buf_.end(), h, h + kHeadSize);
}

void NtxRedo::write_out() {
    sum_.add(buf_.data(), buf_.size());
    file_->write_at(buf_.data(), buf_.size(), written_);
    written_ += buf_.size();
    buf_.clear();
}

void NtxRedo::add(std::uint32_t offset, const unsigned char* page) {
    unsigned char off[4];
    ntx_store32(off, offset);
    buf_.insert(buf_.end(), off, off + sizeof off);
    buf_.insert(buf_.end(), page, page + kNtxPageSize);
    if (buf_.size() >= kChunkRecords * kRecordSize) write_out();
}

void NtxRedo::finish() {
    sum_.add(buf_.data(), buf_.size());
    unsigned char sum[kSumSize];
    store64(sum, sum_.value());
    buf_.insert(buf_.end(), sum, sum + kSumSize);
    file_->write_at(buf_.data(), buf_.size(), written_);
    written_ += buf_.size();
    buf_.clear();
}

void NtxRedo::abandon() noexcept {
    buf_.clear();
    if (written_ == 0) return;
    try {
        clear();
    } catch (const DbError&) {
        // A record cut short is cleared by whoever comes next.
    }
}

void NtxRedo::clear() {
    written_ = 0;
    if (!file_) return;
    if (!file_->writable()) {
        // This user may not write it: it goes (an opening of another user's
        // record that has served, or was never whole).
        file_->empty();
        file_.reset();
        return;
    }
    static constexpr unsigned char kCleared[sizeof kMark] = {};
    file_->write_at(kCleared, sizeof kCleared, 0);
}

void NtxRedo::force() {
    if (file_) file_->force();
    else platform::sync_own_file(path_);
}

bool ntx_mend(platform::File& index, const std::string& side_path) { return NtxRedo(side_path).mend(index); }

}  // namespace durva::dbf
