#include "receive/zrob_sd_voka.h"

#include <sys/stat.h>

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/xbase_values.h"
#include "common/dirmake.h"
#include "common/editor.h"
#include "common/error_handler.h"
#include "platform/folder_file.h"
#include "platform/path_resolver.h"
#include "receive/add_wiersz.h"
#include "receive/booking.h"
#include "receive/booking_journal.h"
#include "receive/cut_short_bookings.h"
#include "receive/rep_dow_voka.h"
#include "receive/sales_backup.h"
#include "common/line_reader.h"

namespace durva {

namespace {

bool blank(std::string_view t) { return t.find_first_not_of(' ') == std::string_view::npos; }

constexpr int kLinesPerIndexHold = 256;

std::string list_name(Session& s) {
    return s.values.PLIK.empty() ? "rob\\wydruk" + STR2(s.values.STACJA) + ".prn" : s.values.PLIK;
}

// The list of unmatched lines: created empty, or opened to add to it.
void open_list(ImportRun& r, bool afresh) {
    r.list_path = list_name(r.s);
    // The workstation's own file: never written through a symlink planted at it.
    r.list = platform::stream_on(platform::open_own(platform::resolve_path(r.list_path)), afresh ? "wb" : "ab", afresh);
    if (afresh) r.done.listed = 0;
}

void close_list(ImportRun& r) {
    if (r.list) std::fclose(r.list);
    r.list = nullptr;
}

// The lines the run could not book are in the list: the operator is pointed
// to the editor of the print files for a second (a key cuts it short), then
// reads, changes or prints the list there and leaves it with Esc.
void show_list(ImportRun& r) {
    _OKNO_(r.s, kSeeListMessage);
    MEDIT(r.s, r.list_path);
}

void list_not_applied(ImportRun& r, const std::vector<std::string>& texts) {
    if (texts.empty()) return;
    open_list(r, false);
    for (const std::string& t : texts) r.list_line(t);
    close_list(r);
    r.BYL_PPLIK = true;
}

// Bookings cut short at any station are finished before anything else is
// read, so that their sales are neither lost nor booked again with this file.
CutShortBookings finish_earlier_bookings(ImportRun& r) {
    CutShortBookings earlier = finish_cut_short_bookings(r.s);
    // Listed at once, and again at the top of this run's list, which is
    // made afresh.
    std::vector<std::string> lines = earlier.unmatched;
    lines.insert(lines.end(), earlier.not_applied.begin(), earlier.not_applied.end());
    list_not_applied(r, lines);
    r.carried.insert(r.carried.end(), lines.begin(), lines.end());
    for (const std::string& m : earlier.finished) r.done.finished += (r.done.finished.empty() ? "" : "; ") + m;
    return earlier;
}

// The driver's sales file that the run did not book (nothing matched, no
// counter) goes to its backup's place all the same: it was read out once.
void put_away(ImportRun& r) {
    if (r.source.empty() || sales_file_stamp(r.source) != r.stamp) return;
    const std::string name = take_sales_file(r.source, r.stamp, r.backup);
    if (name.empty()) _OKNO_(r.s, "Nie moge przeniesc " + r.source + " do DURVA_SD", 0.0);
}

}  // namespace

ImportRun::~ImportRun() {
    if (list) std::fclose(list);
}

void ImportRun::list_line(std::string_view text) {
    if (reading) unmatched.emplace_back(text);
    if (!list) return;
    ++done.listed;
    std::fwrite(text.data(), 1, text.size(), list);
    std::fwrite("\r\n", 1, 2, list);
}

std::optional<FileStamp> file_stamp(std::string_view dos_path) {
    struct stat st {};
    // Only a regular file at that very name is a file the driver wrote.
    if (::lstat(platform::resolve_path(dos_path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    FileStamp f;
    f.inode = st.st_ino;
    f.size = static_cast<unsigned long long>(st.st_size);
    f.modified_ns = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    f.changed_ns = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return f;
}

void for_each_work_row(dbf::Table& dd, const std::function<void(std::string_view)>& row) {
    dd.go_top();  // the last row appended is written back first
    dbf::DbfFile& file = dd.dbf();
    const std::uint32_t count = file.record_count();
    for (std::uint32_t n = 1; n <= count; ++n) {
        std::string_view rec = file.record_view(n);
        if (!rec.empty() && !dbf::DbfFile::is_deleted(rec)) row(rec);
    }
}

double JAKA_VOKA(Session& s) {
    dbf::Table& dd = s.areas.table("dd");
    const int brutto = dd.field_pos("BRUTTO");
    if (brutto == 0) throw DbError("Brak pola BRUTTO w tabeli", dd.path());
    const dbf::FieldDesc& f = dd.fields()[static_cast<size_t>(brutto - 1)];
    double sum = 0;
    for_each_work_row(dd, [&](std::string_view rec) { sum += dbf::decode_number(dbf::field_bytes(rec, f)); });
    return sum;
}

namespace {

// The run itself. With `take` the driver's sales file leaves its place for
// its backup's once read (its booking takes it away before it writes
// anything shared); otherwise it stays and the backup is a copy.
bool import_sales(Session& s, MenuValues& m, std::string_view file, bool take, ImportSummary* summary) {
    ImportRun r(s, m);
    DIRMAKE("DURVA_SD");
    bool result = false;
    auto end = [&] {
        MONITOR(s);
        if (summary) *summary = r.done;
        return result;
    };
    for (const char* alias : {"as", "dd", "dow", "dowod", "slow"}) {
        if (s.areas.find(std::string_view(alias))) continue;
        if (FILE_X(file)) _OKNO_(s, "Tabele firmy nie sa otwarte - sprzedaz zostaje w " + std::string(file), 0.0);
        return end();
    }
    // Whether or not there is a file: the booking cut short may be of the
    // file this run was to book, which it then takes away.
    const CutShortBookings earlier = with_error_handler(s, [&] { return finish_earlier_bookings(r); });
    if (!FILE_X(file)) return end();
    if (!earlier.damaged.empty()) {
        // Unattended: nothing is booked until someone has looked at it.
        r.done.not_booked = earlier.damaged.front();
        return end();
    }
    const std::optional<SourceStamp> stamp = sales_file_stamp(file);
    if (!stamp) {
        // Taken away by the booking just finished: booked there, once.
        if (FILE_X(file)) _OKNO_(s, "Plik " + std::string(file) + " nie jest zwyklym plikiem - pominiety", 0.0);
        return end();
    }
    if (const StationBooking* other = booked_elsewhere(earlier, file, *stamp)) {
        r.done.not_booked = "Ta sprzedaz jest ksiegowana na stacji " + STR2(other->station);
        _OKNO_(s, r.done.not_booked, 0.0);
        return end();
    }
    const platform::LocalTime now = s.clock.local_time();
    if (take) {
        r.source = std::string(file);
        r.stamp = *stamp;
        r.backup = free_backup_name(now);
    } else {
        // The copy first: whatever follows, the sales survive.
        r.backup = make_backup(file, now).name;
        if (r.backup.empty()) _OKNO_(s, "Nie moge zapisac kopii sprzedazy w DURVA_SD", 0.0);
    }
    r.HANDLE = platform::ReadHandle(file);
    if (r.HANDLE.is_open()) {
        r.TEXT_EOF = r.HANDLE.size();
        result = with_error_handler(s, [&] { return VOKA_SD(r); });
        r.HANDLE.close();
    }
    if (take) put_away(r);
    return end();
}

}  // namespace

bool ZROB_SD_VOKA(Session& s, MenuValues& m, std::string_view file, const std::optional<FileStamp>& before,
                  ImportSummary* summary) {
    std::optional<FileStamp> now = file_stamp(file);
    if (!now || (before && *before == *now)) {
        _OKNO_(s, kNoSalesMessage);
        return false;
    }
    return import_sales(s, m, file, false, summary);
}

bool ZROB_SD_VOKA(Session& s, MenuValues& m, std::string_view file, ImportSummary* summary) {
    return import_sales(s, m, file, true, summary);
}

bool VOKA_SD(ImportRun& r) {
    Session& s = r.s;
    MenuValues& m = r.m;
    // Run values.
    r.M_RD = s.values.M_SD;
    r.M_MAG = blank(m.PS_MAG) ? std::string("1") : m.PS_MAG.substr(0, 1);
    r.M_INDEKS = std::string(8, ' ');
    r.P1 = "0";
    r.BYL_PPLIK = false;
    r.rows = 0;
    r.goods_recnos.clear();
    r.totals = DocumentTotals{};
    r.layout = TotalsLayout::of(s.areas.find("dowod"));
    prepare_matching(r);

    dbf::Table& as = s.areas.table("as");
    as.set_order(r.bar_codes ? 2 : 1);
    as.go_top();

    dbf::Table& slow = s.areas.table("slow");
    slow.set_order(1);
    if (!slow.seek(s.values.M_SD, false)) {
        _OKNO_(s, std::string(kNoCounterMessage) + s.values.M_SD);
        as.set_order(1);
        as.go_top();
        return false;
    }
    // Provisional number: the first after the counter that no header uses.
    dbf::Table& dowod = s.areas.table("dowod");
    dowod.set_order(1);
    double n = slow.number("NRD") + 1;
    while (n <= 99999999 && dowod.seek(s.values.M_SD + dbf::str_number(n, 8, 0), false)) n += 1;
    r.M_NRD = dbf::str_number(n, 8, 0);

    dbf::Table& dd = s.areas.table("dd");
    dd.zap();

    open_list(r, true);
    std::vector<std::string> carried = std::move(s.carried_lines);
    s.carried_lines.clear();
    carried.insert(carried.end(), r.carried.begin(), r.carried.end());
    for (const std::string& t : carried) r.list_line(t);
    if (!carried.empty()) r.BYL_PPLIK = true;
    r.reading = true;
    LineReader reader(r.HANDLE, r.TEXT_EOF);
    std::string line;
    LineKind kind;
    // The goods order's read lock is held over a run of lines rather than
    // taken for every seek; a program that changes the goods index waits
    // for one run at most.
    dbf::IndexReadHold hold;
    int held_for = kLinesPerIndexHold;
    // The seeks of a long read-out fill the goods order's page cache with
    // pages nothing after them reads again: it is left as large as the run
    // found it, and the booking's rows take the room those pages had.
    dbf::NtxIndex* goods_order = as.order() > 0 ? &as.index(as.order()) : nullptr;
    const std::size_t cached_before = goods_order ? goods_order->cached_pages() : 0;
    while (reader.next(line, kind)) {
        if (held_for == kLinesPerIndexHold) {
            hold.release();  // another program's change of the goods may come in between
            hold.hold(as.order() > 0 ? &as.index(as.order()) : nullptr);
            held_for = 0;
        }
        ++held_for;
        if (kind == LineKind::Complete) {
            ADD_WIERSZ(r, line);
        } else {
            // Not one record as the driver writes them: never booked, but
            // shown, since it may hold sales; of a long one its start, and
            // how long it was.
            if (reader.length() > line.size())
                line += " ... (wiersz " + std::to_string(reader.length()) + " znakow)";
            r.list_line(line);
            r.BYL_PPLIK = true;
            ++r.refused;
        }
    }
    hold.release();
    if (goods_order) goods_order->shrink_cache(cached_before);
    r.reading = false;
    close_list(r);

    as.set_order(1);
    as.go_top();
    dd.go_top();
    r.M_WPLATA = JAKA_VOKA(s);
    if (dd.record_count() > 0) REP_DOW_VOKA(r);
    list_not_applied(r, r.not_applied);
    if (r.refused > 0)
        _OKNO_(s, "Odrzucone wiersze (bledna postac lub kwota): " + std::to_string(r.refused) + " - w wykazie", 0.0);
    if (r.BYL_PPLIK && !s.unattended) show_list(r);
    return true;
}

}  // namespace durva
