#include "common/dbf/dbf_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <set>

#include "platform/errors.h"
#include "platform/path_resolver.h"

namespace durva::dbf {

namespace {

constexpr char kCorruptHeader[] = "Uszkodzony naglowek tabeli";
constexpr char kCorruptFields[] = "Uszkodzony opis pol tabeli";
constexpr char kBadFieldList[] = "Bledna lista pol tabeli";
// A block of records: one read for a record wanted alone.
constexpr std::uint32_t kChunkBytes = 4 * 1024;
// Blocks read at once while misses run forward through the file.
constexpr std::uint32_t kReadAhead = 8;
// Bytes read at once when the deletion flags are gathered.
constexpr size_t kFlagPassBytes = 256 * 1024;
size_t g_cache_budget = kDbfCacheBytes;

std::uint32_t get_u32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
std::uint16_t get_u16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
void put_u32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put_u16(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

std::string upper_ascii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

char flag_of(char deletion_byte) { return deletion_byte == '*' ? '*' : ' '; }

const platform::Clock& real_clock() {
    static platform::RealClock clock;
    return clock;
}

}  // namespace

size_t dbf_cache_budget() { return g_cache_budget; }
void set_dbf_cache_budget(size_t bytes) { g_cache_budget = bytes; }

DbfFile::DbfFile(std::shared_ptr<platform::File> file, const platform::Clock* clock)
    : file_(std::move(file)), clock_(clock), path_(file_->path()) {}

DbfFile::~DbfFile() {
    try {
        close();
    } catch (...) {
        // A destructor cannot report; callers that care call close() first.
    }
}

Date DbfFile::today() const {
    auto t = (clock_ ? *clock_ : real_clock()).local_time();
    return Date::from_ymd(t.year, t.month, t.day);
}

std::unique_ptr<DbfFile> DbfFile::open(std::string_view path, platform::Share mode, bool read_only,
                                       const platform::Clock* clock) {
    std::string resolved = platform::resolve_path(path);
    auto file = platform::File::open(resolved, mode, read_only);
    std::unique_ptr<DbfFile> dbf(new DbfFile(std::move(file), clock));
    dbf->parse_header(dbf->file_->size());
    return dbf;
}

void DbfFile::parse_header(std::uint64_t size) {
    if (size < 32 || file_->read_at(header_, 32, 0) != 32) throw DbError(kCorruptHeader, path_);
    if (header_[0] != 0x03 && header_[0] != 0x83) throw DbError("Nieznany rodzaj tabeli", path_);
    header_len_ = get_u16(header_ + 8);
    record_len_ = get_u16(header_ + 10);
    // At least one descriptor and the terminator, and the header must lie in the file.
    if (header_len_ < 32 + 32 + 1 || static_cast<std::uint64_t>(header_len_) > size || record_len_ < 2)
        throw DbError(kCorruptHeader, path_);

    std::string desc(static_cast<size_t>(header_len_ - 32), '\0');
    if (file_->read_at(desc.data(), desc.size(), 32) != desc.size()) throw DbError(kCorruptHeader, path_);
    size_t slots = desc.size() / 32;
    fields_.clear();
    by_name_.clear();
    int offset = 1;
    for (size_t i = 0; i < slots; ++i) {
        const auto* d = reinterpret_cast<const unsigned char*>(desc.data() + 32 * i);
        if (d[0] == 0x0D) break;
        FieldDesc f;
        size_t n = 0;
        while (n < 10 && d[n] != 0) ++n;  // byte 10 is a terminator whatever it holds
        f.name = upper_ascii(std::string_view(reinterpret_cast<const char*>(d), n));
        if (f.name.empty()) throw DbError(kCorruptFields, path_);
        for (char c : f.name)
            if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F)
                throw DbError(kCorruptFields, path_);
        f.type = static_cast<char>(std::toupper(d[11]));
        switch (f.type) {
            case 'C':
                f.length = d[16] + 256 * d[17];
                break;
            case 'N':
                f.length = d[16];
                f.decimals = d[17];
                if (f.decimals > 0 && f.decimals >= f.length) throw DbError(kCorruptFields, path_);
                break;
            case 'D':
                f.length = d[16];
                if (f.length != 8) throw DbError(kCorruptFields, path_);
                break;
            case 'L':
                f.length = d[16];
                if (f.length != 1) throw DbError(kCorruptFields, path_);
                break;
            case 'M':
                f.length = d[16];
                break;
            default:
                throw DbError(kCorruptFields, path_);
        }
        if (f.length <= 0) throw DbError(kCorruptFields, path_);
        f.offset = offset;
        offset += f.length;
        if (offset > 65536) throw DbError(kCorruptFields, path_);
        fields_.push_back(std::move(f));
    }
    if (fields_.empty() || offset != record_len_) throw DbError(kCorruptFields, path_);
    index_names();

    count_ = count_from_size(size);
    disk_count_ = count_;
    buf_.assign(static_cast<size_t>(record_len_), ' ');
    per_chunk_ = std::max<std::uint32_t>(1, kChunkBytes / static_cast<std::uint32_t>(record_len_));
    max_frames_ = std::max<size_t>(2, g_cache_budget / (static_cast<size_t>(per_chunk_) * static_cast<size_t>(record_len_)));
    if (file_->exclusive()) flags_.assign(count_, 0);
}

std::uint32_t DbfFile::count_from_size(std::uint64_t size) const {
    if (size <= static_cast<std::uint64_t>(header_len_)) return 0;
    std::uint64_t n = (size - static_cast<std::uint64_t>(header_len_)) / static_cast<std::uint64_t>(record_len_);
    return n > std::numeric_limits<std::uint32_t>::max() - 1 ? std::numeric_limits<std::uint32_t>::max() - 1
                                                             : static_cast<std::uint32_t>(n);
}

FieldList DbfFile::checked_layout(FieldList fields, const std::string& file) {
    if (fields.empty() || fields.size() > 2046) throw DbError(kBadFieldList, file);
    std::set<std::string> names;
    int offset = 1;
    for (FieldDesc& f : fields) {
        std::string name = upper_ascii(f.name);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name.empty() || name.size() > 10 || !names.insert(name).second) throw DbError(kBadFieldList, file);
        for (char c : name)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) throw DbError(kBadFieldList, file);
        f.name = name;
        f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(f.type)));
        switch (f.type) {
            case 'C':
                if (f.length < 1 || f.length > 65535) throw DbError(kBadFieldList, file);
                f.decimals = 0;
                break;
            case 'N':
                if (f.length < 1 || f.length > 255 || f.decimals < 0 || (f.decimals > 0 && f.decimals >= f.length))
                    throw DbError(kBadFieldList, file);
                break;
            case 'D':
                if (f.length != 8) throw DbError(kBadFieldList, file);
                f.decimals = 0;
                break;
            case 'L':
                if (f.length != 1) throw DbError(kBadFieldList, file);
                f.decimals = 0;
                break;
            default:
                throw DbError(kBadFieldList, file);
        }
        f.offset = offset;
        offset += f.length;
        if (offset > 65535) throw DbError(kBadFieldList, file);
    }
    return fields;
}

std::unique_ptr<DbfFile> DbfFile::create(std::string_view path, const FieldList& fields,
                                         const platform::Clock* clock, bool in_place) {
    std::string resolved = platform::resolve_path(path);
    FieldList laid = checked_layout(fields, resolved);
    int header_len = 32 + 32 * static_cast<int>(laid.size()) + 2;
    if (header_len > 65535) throw DbError(kBadFieldList, resolved);
    int record_len = laid.back().offset + laid.back().length;

    std::string bytes(static_cast<size_t>(header_len) + 1, '\0');
    auto* h = reinterpret_cast<unsigned char*>(bytes.data());
    h[0] = 0x03;
    put_u16(h + 8, static_cast<std::uint32_t>(header_len));
    put_u16(h + 10, static_cast<std::uint32_t>(record_len));
    for (size_t i = 0; i < laid.size(); ++i) {
        const FieldDesc& f = laid[i];
        unsigned char* d = h + 32 + 32 * i;
        std::memcpy(d, f.name.data(), f.name.size());
        d[11] = static_cast<unsigned char>(f.type);
        if (f.type == 'C') {
            d[16] = static_cast<unsigned char>(f.length & 0xFF);
            d[17] = static_cast<unsigned char>(f.length >> 8);
        } else {
            d[16] = static_cast<unsigned char>(f.length);
            d[17] = static_cast<unsigned char>(f.decimals);
        }
    }
    h[header_len - 2] = 0x0D;
    h[header_len - 1] = 0x00;
    h[header_len] = 0x1A;

    auto file = platform::File::create(resolved, in_place);
    std::unique_ptr<DbfFile> dbf(new DbfFile(std::move(file), clock));
    // Whatever the old file held past the header goes at close().
    dbf->changed_ = in_place;
    Date d = dbf->today();
    int y = 0, m = 0, day = 0;
    d.ymd(y, m, day);
    h[1] = static_cast<unsigned char>(std::clamp(y - 1900, 0, 255));
    h[2] = static_cast<unsigned char>(m);
    h[3] = static_cast<unsigned char>(day);
    dbf->file_->write_at(bytes.data(), bytes.size(), 0);
    dbf->parse_header(bytes.size());
    return dbf;
}

namespace {

// A field name of up to 15 bytes, and its length, as two words; false for
// a longer one.
bool pack_name(std::string_view name, std::uint64_t& a, std::uint64_t& b) {
    const std::size_t n = name.size();
    if (n > 15) return false;
    a = 0;
    b = static_cast<std::uint64_t>(n) << 56;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t byte = static_cast<unsigned char>(name[i]);
        (i < 8 ? a : b) |= byte << (8 * (i % 8));
    }
    return true;
}

std::size_t name_slot(std::uint64_t a, std::uint64_t b, std::size_t mask) {
    return static_cast<std::size_t>(((a ^ (b * 31)) * 0x9E3779B97F4A7C15ull) >> 40) & mask;
}

}  // namespace

void DbfFile::index_names() {
    std::size_t size = 16;
    while (size < 2 * fields_.size()) size *= 2;
    by_name_.assign(size, NameSlot{});
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        NameSlot n;
        if (!pack_name(fields_[i].name, n.a, n.b)) continue;
        n.index = static_cast<int>(i);
        std::size_t at = name_slot(n.a, n.b, size - 1);
        while (by_name_[at].index >= 0 && !(by_name_[at].a == n.a && by_name_[at].b == n.b)) at = (at + 1) & (size - 1);
        if (by_name_[at].index < 0) by_name_[at] = n;  // of two fields of one name, the first
    }
}

int DbfFile::find_name(std::string_view name) const {
    std::uint64_t a = 0, b = 0;
    if (by_name_.empty() || !pack_name(name, a, b)) return -1;
    const std::size_t mask = by_name_.size() - 1;
    for (std::size_t at = name_slot(a, b, mask);; at = (at + 1) & mask) {
        const NameSlot& n = by_name_[at];
        if (n.index < 0) return -1;
        if (n.a == a && n.b == b) return n.index;
    }
}

int DbfFile::field_index(std::string_view name) const {
    if (const int i = find_name(name); i >= 0) return i;
    size_t n = name.size();
    while (n > 0 && name[n - 1] == ' ') --n;
    name = name.substr(0, n);
    for (size_t i = 0; i < fields_.size(); ++i) {
        const std::string& f = fields_[i].name;
        if (f.size() != name.size()) continue;
        // Field names are ASCII: upper-casing needs no locale (and no call
        // per byte, which the program's many lookups by name would pay for).
        bool same = true;
        for (size_t k = 0; k < f.size() && same; ++k) {
            char c = name[k];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            same = c == f[k];
        }
        if (same) return static_cast<int>(i);
    }
    return -1;
}

std::uint32_t DbfFile::header_count() const { return get_u32(header_ + 4); }

Date DbfFile::header_date() const {
    return Date::from_ymd(1900 + header_[1], header_[2], header_[3]);
}

std::uint32_t DbfFile::record_count() {
    if (file_ && !exclusive()) {
        count_ = count_from_size(file_->size());
        disk_count_ = count_;
    }
    return count_;
}

void DbfFile::require_writable() const {
    if (!file_) throw DbError("Tabela zamknieta", path_);
    if (read_only()) throw DbError("Tabela otwarta tylko do odczytu", path_, EACCES);
}

// Held exclusively, for reading: the record where the cache keeps it, or
// read alone when its block is not worth reading (dbf_file.h).
const char* DbfFile::cached_record(std::uint32_t recno) {
    std::uint32_t idx = (recno - 1) / per_chunk_;
    if (idx < where_.size() && where_[idx] != 0) return block_record(recno);
    if (recno == alone_) return buf_.data();
    if (!wants_block(recno, idx)) return read_alone(recno);
    return block_record(recno);
}

// Held exclusively: the record in its block, the block read when missing.
char* DbfFile::block_record(std::uint32_t recno) {
    std::uint32_t idx = (recno - 1) / per_chunk_;
    std::uint32_t within = (recno - 1) % per_chunk_;
    if (idx >= where_.size() || where_[idx] == 0) load_chunks(idx);
    Chunk& c = frames_[where_[idx] - 1];
    c.referenced = true;
    pinned_ = idx;
    return c.bytes.get() + static_cast<size_t>(within) * static_cast<size_t>(record_len_);
}

// Whether a record whose block is not in memory comes with its block: when
// the whole table fits in the cache, when the record is not in the file yet
// (only its block can hold it), and while reads run forward through the file.
bool DbfFile::wants_block(std::uint32_t recno, std::uint32_t idx) {
    if (fits_cache() || recno > disk_count_) return true;
    if (last_miss_ != kNoChunk && idx == last_miss_ + 1) return true;
    return last_alone_ != 0 && recno == last_alone_ + 1;
}

const char* DbfFile::read_alone(std::uint32_t recno) {
    last_alone_ = recno;
    alone_ = 0;
    const size_t rl = static_cast<size_t>(record_len_);
    if (file_->read_at(buf_.data(), rl, record_offset(recno)) != rl) throw DbError("Blad odczytu tabeli", path_);
    alone_ = recno;
    flags_[recno - 1] = flag_of(buf_[0]);
    ++alone_reads_;
    return buf_.data();
}

bool DbfFile::deleted(std::uint32_t recno) {
    char f = flags_[recno - 1];
    if (f != 0) return f == '*';
    // Reading the table's flags in one pass costs about as much as reading
    // alone one record for every 8 KB of the table: once that many were
    // read alone for their flags, the rest come from one pass.
    const std::uint64_t table_bytes = static_cast<std::uint64_t>(disk_count_) * static_cast<std::uint64_t>(record_len_);
    if (alone_reads_ >= table_bytes / (2 * kChunkBytes)) {
        gather_flags();
        return flags_[recno - 1] == '*';
    }
    return cached_record(recno)[0] == '*';
}

// Every deletion flag not yet known, from one pass over the file; those of
// records changed in memory are known already.
void DbfFile::gather_flags() {
    const size_t rl = static_cast<size_t>(record_len_);
    const std::uint32_t per_read = static_cast<std::uint32_t>(std::max<size_t>(1, kFlagPassBytes / rl));
    std::vector<char> buf(static_cast<size_t>(per_read) * rl);
    for (std::uint32_t first = 1; first <= disk_count_; first += per_read) {
        const std::uint32_t n = std::min(per_read, disk_count_ - first + 1);
        bool known = true;
        for (std::uint32_t i = 0; i < n && known; ++i) known = flags_[first - 1 + i] != 0;
        if (known) continue;
        const size_t want = static_cast<size_t>(n) * rl;
        if (file_->read_at(buf.data(), want, record_offset(first)) != want) throw DbError("Blad odczytu tabeli", path_);
        for (std::uint32_t i = 0; i < n; ++i)
            if (flags_[first - 1 + i] == 0) flags_[first - 1 + i] = flag_of(buf[i * rl]);
    }
    alone_reads_ = 0;
}

// Writes the records a block changed; those past the file's end make it longer.
void DbfFile::write_dirty(Chunk& c) {
    if (c.dirty_lo == c.dirty_hi) return;
    size_t rl = static_cast<size_t>(record_len_);
    std::uint32_t first = c.index * per_chunk_ + c.dirty_lo + 1;
    file_->write_at(c.bytes.get() + c.dirty_lo * rl, (c.dirty_hi - c.dirty_lo) * rl, record_offset(first));
    disk_count_ = std::max(disk_count_, first + (c.dirty_hi - c.dirty_lo) - 1);
    c.dirty_lo = c.dirty_hi = 0;
}

// A frame for a block about to be read: a new one under the budget, else the
// next one the clock hand finds neither wanted since it last came by, nor
// holding the record last handed out, nor part of the read in progress.
size_t DbfFile::take_frame() {
    if (!free_frames_.empty()) {
        size_t f = free_frames_.back();
        free_frames_.pop_back();
        return f;
    }
    if (frames_.size() < max_frames_) {
        frames_.emplace_back();
        frames_.back().bytes.reset(new char[static_cast<size_t>(per_chunk_) * static_cast<size_t>(record_len_)]);
        return frames_.size() - 1;
    }
    for (;;) {
        if (hand_ >= frames_.size()) hand_ = 0;
        Chunk& c = frames_[hand_];
        size_t at = hand_++;
        if (c.index == kNoChunk) return at;
        if (c.index == pinned_ || (c.index >= run_lo_ && c.index < run_hi_)) continue;
        if (c.referenced) {
            c.referenced = false;
            continue;
        }
        // Its changes reach the file before the block leaves; a failing write
        // leaves it cached and changed.
        write_dirty(c);
        where_[c.index] = 0;
        c.index = kNoChunk;
        return at;
    }
}

void DbfFile::release_frame(std::uint32_t idx) {
    if (idx >= where_.size() || where_[idx] == 0) return;
    size_t f = where_[idx] - 1;
    where_[idx] = 0;
    frames_[f].index = kNoChunk;
    free_frames_.push_back(f);
}

// Block `idx` has just been filled by appends alone. A run of such blocks
// goes to the file in one write and leaves the cache: a table being filled
// (a copy, a work table) is seldom read back at once, and reading it back
// in record order is one read per run again.
void DbfFile::appended_block_full(std::uint32_t idx) {
    if (append_run_ == kNoChunk || idx != append_next_) append_run_ = idx;
    append_next_ = idx + 1;
    if (idx + 1 - append_run_ < kReadAhead) return;
    std::uint32_t lo = append_run_;
    append_run_ = kNoChunk;
    size_t rl = static_cast<size_t>(record_len_);
    size_t block = static_cast<size_t>(per_chunk_) * rl;
    // Only blocks still cached and changed throughout are written together;
    // any other was written when it made room, or waits for the next commit.
    for (std::uint32_t k = lo; k <= idx; ++k) {
        if (k >= where_.size() || where_[k] == 0) return;
        const Chunk& c = frames_[where_[k] - 1];
        if (c.dirty_lo != 0 || c.dirty_hi != per_chunk_) return;
    }
    read_buf_.resize(static_cast<size_t>(idx - lo + 1) * block);
    for (std::uint32_t k = lo; k <= idx; ++k)
        std::memcpy(read_buf_.data() + (k - lo) * block, frames_[where_[k] - 1].bytes.get(), block);
    std::uint32_t first = lo * per_chunk_ + 1;
    file_->write_at(read_buf_.data(), read_buf_.size(), record_offset(first));
    disk_count_ = std::max(disk_count_, (idx + 1) * per_chunk_);
    for (std::uint32_t k = lo; k <= idx; ++k) {
        Chunk& c = frames_[where_[k] - 1];
        c.dirty_lo = c.dirty_hi = 0;
        release_frame(k);
    }
}

void DbfFile::load_chunks(std::uint32_t idx) {
    if (where_.size() <= idx) where_.resize(static_cast<size_t>(idx) + 1);
    // One block, as a record wanted alone needs; while misses follow each
    // other through the file (a pass in record order) the blocks after it
    // come along in the same read.
    std::uint32_t n = 1;
    std::uint32_t blocks_on_disk = (disk_count_ + per_chunk_ - 1) / per_chunk_;
    const bool forward = last_miss_ != kNoChunk && idx == last_miss_ + 1;
    if (forward) recycle_passed(idx);
    else recycle_from_ = idx;
    if (forward) {
        std::uint32_t most = static_cast<std::uint32_t>(std::min<size_t>(kReadAhead, max_frames_ / 2));
        while (n < most && idx + n < blocks_on_disk && (idx + n >= where_.size() || where_[idx + n] == 0)) ++n;
    }
    run_lo_ = idx;
    run_hi_ = idx + n;
    size_t rl = static_cast<size_t>(record_len_);
    size_t block = static_cast<size_t>(per_chunk_) * rl;
    std::uint32_t first = idx * per_chunk_ + 1;
    std::uint32_t on_disk = 0;
    if (first <= disk_count_) on_disk = std::min(n * per_chunk_, disk_count_ - first + 1);
    size_t want = on_disk * rl;
    // The frames first (each marked with its block, so that taking the next
    // cannot hand it out again), then one read straight into them.
    char* into[kReadAhead];
    size_t taken[kReadAhead];
    for (std::uint32_t k = 0; k < n; ++k) {
        taken[k] = take_frame();
        frames_[taken[k]].index = idx + k;
        into[k] = frames_[taken[k]].bytes.get();
    }
    if (want > 0 && file_->read_pieces(into, n, block, record_offset(first)) < want) {
        for (std::uint32_t k = 0; k < n; ++k) {
            frames_[taken[k]].index = kNoChunk;
            free_frames_.push_back(taken[k]);
        }
        run_lo_ = run_hi_ = 0;
        throw DbError("Blad odczytu tabeli", path_);
    }
    for (std::uint32_t k = 0; k < n; ++k) {
        const size_t from = std::min(block, want - std::min(want, k * block));
        std::memset(into[k] + from, ' ', block - from);
    }
    for (std::uint32_t i = 0; i < on_disk; ++i) flags_[first - 1 + i] = flag_of(into[i / per_chunk_][(i % per_chunk_) * rl]);
    for (std::uint32_t k = 0; k < n; ++k) {
        Chunk& c = frames_[taken[k]];
        c.dirty_lo = c.dirty_hi = 0;
        c.referenced = k == 0;
        if (where_.size() <= c.index) where_.resize(static_cast<size_t>(c.index) + 1);
        where_[c.index] = static_cast<std::uint32_t>(taken[k] + 1);
    }
    last_miss_ = idx + n - 1;
    run_lo_ = run_hi_ = 0;
}

// A pass in record order reads each block once: the blocks it has gone past
// make room for the ones it reads next, so that a scan of a large table
// keeps a few blocks in memory, not the table, and does not push out what
// other work had cached. A block the pass changed (a record read and
// written back as the pass went) is written first; blocks filled by appends
// wait for their run to be written together. The block of the record last
// handed out stays.
void DbfFile::recycle_passed(std::uint32_t idx) {
    for (std::uint32_t k = recycle_from_; k < idx && k < where_.size(); ++k) {
        if (k == pinned_ || where_[k] == 0) continue;
        Chunk& c = frames_[where_[k] - 1];
        if (c.dirty_lo != c.dirty_hi) {
            if (append_run_ != kNoChunk && k >= append_run_) continue;
            write_dirty(c);
        }
        release_frame(k);
    }
    // The pinned block goes at the next miss, when the pass has left it.
    recycle_from_ = pinned_ >= recycle_from_ && pinned_ < idx ? pinned_ : idx;
}

void DbfFile::mark_dirty(std::uint32_t recno) {
    std::uint32_t idx = (recno - 1) / per_chunk_;
    std::uint32_t within = (recno - 1) % per_chunk_;
    Chunk& c = frames_[where_[idx] - 1];
    if (c.dirty_lo == c.dirty_hi) {
        c.dirty_lo = within;
        c.dirty_hi = within + 1;
    } else {
        c.dirty_lo = std::min(c.dirty_lo, within);
        c.dirty_hi = std::max(c.dirty_hi, within + 1);
    }
}

void DbfFile::flush_cache() {
    std::vector<Chunk*> dirty;
    for (Chunk& c : frames_)
        if (c.index != kNoChunk && c.dirty_lo != c.dirty_hi) dirty.push_back(&c);
    if (dirty.empty()) return;
    std::sort(dirty.begin(), dirty.end(), [](const Chunk* a, const Chunk* b) { return a->index < b->index; });
    for (Chunk* c : dirty) write_dirty(*c);
    disk_count_ = std::max(disk_count_, count_);
}

void DbfFile::drop_cache() {
    frames_.clear();
    free_frames_.clear();
    where_.clear();
    append_run_ = kNoChunk;
    hand_ = 0;
    pinned_ = last_miss_ = kNoChunk;
    recycle_from_ = 0;
    alone_ = last_alone_ = 0;
    alone_reads_ = 0;
}

size_t DbfFile::cached_blocks() const {
    size_t n = 0;
    for (const Chunk& c : frames_) n += c.index != kNoChunk;
    return n;
}

std::uint32_t DbfFile::read_records(std::uint32_t first, std::uint32_t count, char* out) {
    if (!file_ || first == 0 || count == 0) return 0;
    const size_t rl = static_cast<size_t>(record_len_);
    if (exclusive()) {
        std::uint32_t n = 0;
        for (; n < count && first + n <= count_; ++n)
            std::memcpy(out + n * rl, cached_record(first + n), rl);
        return n;
    }
    const std::uint32_t total = record_count();
    if (first > total) return 0;
    const std::uint32_t want = std::min(count, total - first + 1);
    // Whole records only: a file cut short meanwhile ends the run early.
    const size_t got = file_->read_at(out, want * rl, record_offset(first));
    return static_cast<std::uint32_t>(got / rl);
}

std::uint32_t DbfFile::read_run(std::uint32_t first, std::uint32_t count, char* out) {
    if (!file_ || !exclusive()) throw DbError("Tabela nie jest otwarta na wylacznosc", path_, EACCES);
    if (first == 0 || first > count_) return 0;
    flush_cache();
    const std::uint32_t n = std::min(count, count_ - first + 1);
    const size_t want = static_cast<size_t>(n) * static_cast<size_t>(record_len_);
    if (file_->read_at(out, want, record_offset(first)) != want) throw DbError("Blad odczytu tabeli", path_);
    return n;
}

void DbfFile::write_run(std::uint32_t first, const char* bytes, std::uint32_t count) {
    require_writable();
    if (!exclusive()) throw DbError("Tabela nie jest otwarta na wylacznosc", path_, EACCES);
    if (first == 0 || count == 0) return;
    if (first > std::numeric_limits<std::uint32_t>::max() - 2 - count) throw DbError("Tabela pelna", path_);
    flush_cache();
    const std::uint32_t last = first + count - 1;
    for (std::uint32_t k = (first - 1) / per_chunk_; k <= (last - 1) / per_chunk_; ++k) release_frame(k);
    if (alone_ >= first && alone_ <= last) alone_ = 0;
    const size_t rl = static_cast<size_t>(record_len_);
    changed_ = header_dirty_ = true;
    file_->write_at(bytes, static_cast<size_t>(count) * rl, record_offset(first));
    if (flags_.size() < last) flags_.resize(last, 0);
    for (std::uint32_t i = 0; i < count; ++i) flags_[first - 1 + i] = flag_of(bytes[i * rl]);
    count_ = std::max(count_, last);
    disk_count_ = std::max(disk_count_, last);
}

bool DbfFile::read_record(std::uint32_t recno, char* out) {
    std::string_view v = record_view(recno);
    if (v.empty()) return false;
    std::memcpy(out, v.data(), v.size());
    return true;
}

std::string_view DbfFile::record_view(std::uint32_t recno) {
    if (!file_ || recno == 0) return {};
    size_t rl = static_cast<size_t>(record_len_);
    if (exclusive()) {
        if (recno > count_) return {};
        return {cached_record(recno), rl};
    }
    if (recno > count_ && recno > record_count()) return {};
    size_t got = file_->read_at(buf_.data(), rl, record_offset(recno));
    if (got != rl) {
        // The file shrank under us (another program cut it): no such record any more.
        record_count();
        return {};
    }
    return buf_;
}

void DbfFile::write_record(std::uint32_t recno, const char* bytes) {
    require_writable();
    if (recno == 0 || (recno > count_ && recno > record_count()))
        throw DbError("Zapis poza tabela", path_);
    changed_ = true;
    if (exclusive()) {
        const size_t rl = static_cast<size_t>(record_len_);
        const std::uint32_t idx = (recno - 1) / per_chunk_;
        header_dirty_ = true;
        if (recno == alone_) alone_ = 0;
        if ((idx >= where_.size() || where_[idx] == 0) && recno <= disk_count_ && !wants_block(recno, idx)) {
            // Its block is not worth reading for one record: the change goes
            // to the file now, as it would when the block left the cache.
            file_->write_at(bytes, rl, record_offset(recno));
            flags_[recno - 1] = flag_of(bytes[0]);
            return;
        }
        std::memmove(block_record(recno), bytes, rl);
        flags_[recno - 1] = flag_of(bytes[0]);
        mark_dirty(recno);
        return;
    }
    file_->write_at(bytes, static_cast<size_t>(record_len_), record_offset(recno));
}

void DbfFile::rewrite_records(std::uint32_t first, const char* bytes, std::uint32_t count) {
    require_writable();
    if (!exclusive() && !file_locked_) throw DbError("Zapis rekordow bez blokady tabeli", path_, EACCES);
    if (count == 1) return write_record(first, bytes);
    if (first == 0 || count == 0 || (first + count - 1 > count_ && first + count - 1 > record_count()))
        throw DbError("Zapis poza tabela", path_);
    if (exclusive()) {
        for (std::uint32_t i = 0; i < count; ++i)
            write_record(first + i, bytes + static_cast<size_t>(i) * static_cast<size_t>(record_len_));
        return;
    }
    changed_ = true;
    file_->write_at(bytes, static_cast<size_t>(count) * static_cast<size_t>(record_len_), record_offset(first));
}

std::uint32_t DbfFile::append_record(const char* bytes) {
    require_writable();
    if (count_ >= std::numeric_limits<std::uint32_t>::max() - 2) throw DbError("Tabela pelna", path_);
    changed_ = true;
    if (exclusive()) {
        std::uint32_t recno = count_ + 1;
        std::memmove(block_record(recno), bytes, static_cast<size_t>(record_len_));
        flags_.push_back(flag_of(bytes[0]));
        count_ = recno;
        mark_dirty(recno);
        header_dirty_ = true;
        if (recno % per_chunk_ == 0) appended_block_full((recno - 1) / per_chunk_);
        return recno;
    }
    file_->lock_wait(lock_base_, 1, true);
    std::uint32_t recno = 0;
    try {
        recno = append_locked(bytes, 1);
    } catch (...) {
        file_->unlock(lock_base_, 1);
        throw;
    }
    file_->unlock(lock_base_, 1);
    return recno;
}

std::uint32_t DbfFile::append_records(const char* bytes, std::uint32_t n) {
    require_writable();
    if (n == 0) return 0;
    if (!exclusive() && !file_locked_) throw DbError("Dopisanie wielu rekordow bez blokady pliku", path_);
    if (count_ >= std::numeric_limits<std::uint32_t>::max() - 2 - n) throw DbError("Tabela pelna", path_);
    if (exclusive()) {
        // Straight to the file in one write, past the cache: a table being
        // filled is seldom read back at once. What the cache holds goes to
        // the file first, so that the table grows in record order and a
        // program killed meanwhile leaves the records it had and some of the
        // new ones, in order, never a gap; the block begun last leaves the
        // cache, being written past.
        const std::uint32_t first = count_ + 1;
        const size_t rl = static_cast<size_t>(record_len_);
        flush_cache();
        if (count_ % per_chunk_ != 0) release_frame((count_ - 1) / per_chunk_);
        changed_ = true;  // a write cut short is cut off at close
        file_->write_at(bytes, n * rl, record_offset(first));
        for (std::uint32_t k = 0; k < n; ++k) flags_.push_back(bytes[k * rl]);
        count_ += n;
        disk_count_ = std::max(disk_count_, count_);
        header_dirty_ = true;
        return first;
    }
    changed_ = true;
    file_->lock_wait(lock_base_, 1, true);
    std::uint32_t first = 0;
    try {
        first = append_locked(bytes, n);
    } catch (...) {
        file_->unlock(lock_base_, 1);
        throw;
    }
    file_->unlock(lock_base_, 1);
    return first;
}

void DbfFile::reserve_records(std::uint32_t n) {
    if (!exclusive() || read_only() || n == 0) return;
    changed_ = true;  // cut after the last record at close, whatever is filled
    flags_.reserve(static_cast<size_t>(count_) + n);
    file_->reserve(record_offset(count_ + 1) + static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(record_len_) + 1);
}

// Under the append lock: `count` records after the last whole one, the first
// of them locked (nothing to lock under the file lock). Returns the number of
// the first, 0 when it cannot be locked.
std::uint32_t DbfFile::append_locked(const char* bytes, std::uint32_t count) {
    const std::uint64_t old_size = file_->size();
    const std::uint32_t n = count_from_size(old_size);
    count_ = disk_count_ = n;
    if (!lock_record(n + 1)) return 0;
    const std::uint32_t recno = n + 1;
    const std::uint32_t last = n + count;
    const std::uint64_t at = record_offset(recno);
    // What lies after the last whole record (the end-of-file byte, or a piece
    // of a record some program failed to finish) is put back if this fails.
    std::string tail;
    if (old_size > at) {
        tail.resize(static_cast<size_t>(old_size - at));
        tail.resize(file_->read_at(tail.data(), tail.size(), at));
    }
    unsigned char old_header[32];
    std::memcpy(old_header, header_, sizeof old_header);
    try {
        // The record first, then the count: a reader trusting the header
        // never meets a record that is not on disk yet.
        file_->write_at(bytes, static_cast<size_t>(record_len_) * count, at);
        stamp_header(last);
        write_header();
    } catch (...) {
        // A full disk or a size limit: the table goes back to what it was, and
        // the lock on the record that was not added goes as well.
        std::memcpy(header_, old_header, sizeof old_header);
        try {
            write_header();
            file_->truncate(old_size);
            if (!tail.empty()) file_->write_at(tail.data(), tail.size(), at);
        } catch (...) {
            // Nothing more can be done; the count still follows whole records.
        }
        unlock_record(recno);
        throw;
    }
    count_ = last;
    disk_count_ = last;
    return recno;
}

std::string DbfFile::blank_record() const { return std::string(static_cast<size_t>(record_len_), ' '); }

bool DbfFile::lock_record(std::uint32_t recno) {
    if (!file_ || recno == 0) return false;
    if (exclusive() || file_locked_) return true;
    return file_->try_lock_for(this, lock_base_ + recno, 1);
}

void DbfFile::unlock_record(std::uint32_t recno) {
    if (!file_ || recno == 0 || exclusive() || file_locked_) return;
    file_->unlock_for(this, lock_base_ + recno, 1);
}

bool DbfFile::lock_file() {
    if (!file_) return false;
    if (exclusive() || file_locked_) return file_locked_ = true;
    file_locked_ = file_->try_lock_for(this, lock_base_ + 1, file_lock_length_);
    return file_locked_;
}

void DbfFile::unlock_file() {
    if (!file_ || !file_locked_) return;
    file_locked_ = false;
    // Drops the record locks inside the range as well.
    if (!exclusive()) file_->unlock_for(this, lock_base_ + 1, file_lock_length_);
}

void DbfFile::use_extended_locks() {
    lock_base_ = kDbfExtendedLockBase;
    file_lock_length_ = kDbfExtendedFileLockLength;
}

void DbfFile::stamp_header(std::uint32_t count) {
    Date d = today();
    int y = 0, m = 0, day = 0;
    d.ymd(y, m, day);
    if (!d.empty()) {
        header_[1] = static_cast<unsigned char>(std::clamp(y - 1900, 0, 255));
        header_[2] = static_cast<unsigned char>(m);
        header_[3] = static_cast<unsigned char>(day);
    }
    put_u32(header_ + 4, count);
}

void DbfFile::write_header() { file_->write_at(header_, 32, 0); }

void DbfFile::commit() {
    if (!file_ || read_only()) return;
    flush_cache();
    if (exclusive() && header_dirty_) {
        stamp_header(count_);
        write_header();
        header_dirty_ = false;
    }
}

void DbfFile::sync_to_disk() {
    if (!file_ || read_only()) return;
    commit();
    file_->sync();
}

void DbfFile::close() {
    if (!file_) return;
    try {
        if (!read_only()) {
            commit();
            if (exclusive() && changed_) {
                // The end-of-file byte after the last record, and nothing after it.
                stamp_header(count_);
                write_header();
                std::uint64_t end = record_offset(count_ + 1);
                const char eof = 0x1A;
                file_->write_at(&eof, 1, end);
                file_->truncate(end + 1);
            }
        }
    } catch (...) {
        file_locked_ = false;
        file_->unlock_all_for(this);
        file_.reset();
        drop_cache();
        throw;
    }
    // Another work area of this program may keep the file open: our locks
    // must not stay behind with it.
    file_locked_ = false;
    file_->unlock_all_for(this);
    file_.reset();
    drop_cache();
}

void DbfFile::zap() {
    require_writable();
    if (!exclusive()) throw DbError("Tabela nie jest otwarta na wylacznosc", path_, EACCES);
    drop_cache();
    flags_.clear();
    count_ = 0;
    disk_count_ = 0;
    changed_ = true;
    header_dirty_ = true;
    file_->truncate(static_cast<std::uint64_t>(header_len_));
    commit();
}

}  // namespace durva::dbf
