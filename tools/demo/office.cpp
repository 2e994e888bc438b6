#include "office.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/table.h"
#include "common/dbf/xbase_values.h"
#include "common/mem_file.h"
#include "common/memvars.h"
#include "common/screen/codepage.h"
#include "goods.h"
#include "layouts.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "receipts.h"

namespace durva::demo {

namespace fs = std::filesystem;

namespace {

// One record being filled in by field name.
class Record {
public:
    explicit Record(const dbf::DbfFile& file) : file_(file), bytes_(file.blank_record()) {}
    Record& set(const char* name, const dbf::FieldValue& value) {
        int i = file_.field_index(name);
        if (i < 0) return *this;  // a field the older layout does not have
        dbf::encode_field(file_.fields()[static_cast<size_t>(i)], value, bytes_.data());
        return *this;
    }
    Record& text(const char* name, const std::string& value) { return set(name, value); }
    void mark_deleted() { bytes_[0] = '*'; }
    const char* data() const { return bytes_.data(); }

private:
    const dbf::DbfFile& file_;
    std::string bytes_;
};

class TableWriter {
public:
    TableWriter(const std::string& folder, const platform::Clock& clock) : folder_(folder), clock_(clock) {}

    // Creates the table, lets `fill` append its records, then builds its
    // indexes from the table as written.
    template <typename Fill>
    void write(const std::string& name, const dbf::FieldList& layout, const std::vector<IndexFile>& indexes, Fill fill) {
        const std::string path = folder_ + "/" + name + ".dbf";
        {
            auto file = dbf::DbfFile::create(path, layout, &clock_);
            fill(*file);
            file->close();
        }
        if (indexes.empty()) return;
        auto table = dbf::Table::open(path, platform::Share::Exclusive, settings_, false, &clock_);
        for (const IndexFile& idx : indexes) table->create_index(folder_ + "/" + idx.name + ".ntx", idx.expression, false, true);
        table->close();
    }

private:
    std::string folder_;
    const platform::Clock& clock_;
    dbf::TableSettings settings_;
};

std::string two_digits(int n) {
    return std::string(1, static_cast<char>('0' + n / 10 % 10)) + static_cast<char>('0' + n % 10);
}

std::string mazovia(const char* utf8) { return screen::from_utf8(utf8); }

void write_company(TableWriter& writer, const std::string& bmr) {
    writer.write("firma", company_layout(), {}, [&](dbf::DbfFile& f) {
        Record r(f);
        r.text("ST", "0000000000").text("BMR", bmr);
        r.text("NODB", mazovia("SKLEP SPOŻYWCZO-PRZEMYSŁOWY POD LIPĄ"));
        r.text("NODB1", mazovia("Spółka cywilna - hurt i detal"));
        r.text("NODB2", mazovia("ul. Ogrodowa 7, 05-800 Pruszków"));
        f.append_record(r.data());
    });
}

void write_goods(TableWriter& writer, const std::vector<Good>& goods, bool with_bar_codes) {
    writer.write("as", goods_layout(with_bar_codes), goods_indexes(with_bar_codes), [&](dbf::DbfFile& f) {
        for (const Good& g : goods) {
            Record r(f);
            r.text("MAG", std::string(1, g.mag)).text("INDEKS", g.indeks).text("NAZWA", g.nazwa).text("JM", g.jm);
            r.set("CENA0", g.cena0).set("CENA2", g.cena2).set("CENA2M", g.cena2m);
            r.set("CENA3", g.cena3).set("CENAM", g.cenam);
            r.text("PODATEK0", g.podatek0).text("SWW", g.sww).text("PKWIU", g.pkwiu).text("KOD13", g.kod13);
            r.set("ILOSC", g.ilosc()).set("B_R_I", g.b_r_i).set("B_R_I_SD", g.b_r_i);
            r.set("ILOSC_PZ", g.ilosc_pz).set("ILOSC_SD", g.ilosc_sd);
            r.set("DATA_PZ", g.data_pz).set("DATA_SD", g.data_sd);
            r.text("RD_PZ", g.rd_pz).text("NRD_PZ", g.nrd_pz);
            if (g.deleted) r.mark_deleted();
            f.append_record(r.data());
        }
    });
}

void write_receipts(TableWriter& writer, const std::vector<Receipt>& receipts, const std::vector<Good>& goods) {
    auto common = [](Record& r, const Receipt& doc) {
        r.text("R_P", "P").text("S_Z", "Z").text("RD", "PZ ").text("NRD", document_number(doc.number));
        r.set("DATA", doc.date).text("MAG", std::string(1, doc.mag)).text("KTO", "1");
    };
    writer.write("dow", document_rows_layout(), document_rows_indexes(), [&](dbf::DbfFile& f) {
        for (const Receipt& doc : receipts) {
            int line = 0;
            for (const ReceiptRow& row : doc.rows) {
                const Good& g = goods[row.good];
                Record r(f);
                common(r, doc);
                r.text("LP", dbf::str_number(++line, 3, 0)).text("INDEKS", g.indeks).text("NAZWA", g.nazwa);
                r.text("JM", g.jm).set("CENA0", g.cena0).set("CENA", g.cena0).text("NB", "N");
                r.set("ILOSC", row.ilosc).set("WARTOSC", row.wartosc).text("PODATEK0", g.podatek0);
                r.set("PODATEK", row.podatek).text("SWW", g.sww).text("PKWIU", g.pkwiu);
                f.append_record(r.data());
            }
        }
    });
    writer.write("dowod", document_headers_layout(), document_headers_indexes(), [&](dbf::DbfFile& f) {
        for (const Receipt& doc : receipts) {
            Record r(f);
            common(r, doc);
            double netto = doc.netto(), vat = doc.vat();
            r.set("WARTOSC0", netto).set("NETTO", netto).set("VAT", vat).text("SPZ", "P");
            r.set("KWOTA", dbf::round_decimal(netto + vat, 2)).text("OPERATOR", "1").text("NODB", doc.supplier);
            r.set("R_DATA", doc.date).text("R_CZAS", doc.time);
            f.append_record(r.data());
        }
    });
}

void write_counters(TableWriter& writer, std::size_t receipts) {
    writer.write("slow", counters_layout(), counters_indexes(), [&](dbf::DbfFile& f) {
        struct Counter {
            const char* rd;
            double nrd;
            const char* name;
        };
        const Counter counters[] = {{"SD ", 0, "SPRZEDAŻ DETALICZNA"},
                                    {"PZ ", static_cast<double>(receipts), "PRZYJĘCIE ZEWNĘTRZNE"},
                                    {"FV ", 0, "FAKTURA VAT"}};
        for (const Counter& c : counters) {
            Record r(f);
            r.text("RD", c.rd).set("NRD", c.nrd).text("NAZWA", mazovia(c.name));
            f.append_record(r.data());
        }
    });
}

void write_accounts(TableWriter& writer) {
    writer.write("pk", accounts_layout(), accounts_indexes(), [&](dbf::DbfFile& f) {
        struct Account {
            const char* konto;
            const char* name;
            double kwota;
        };
        const Account accounts[] = {{"202-00001", "DOSTAWCY - HURTOWNIA ŁAN", -2750.55}, {"131", "RACHUNEK BIEŻĄCY", 48210.07},
                                    {"330", "TOWARY", 56000.00},        {"100", "KASA", 1523.40},
                                    {"202-00002", "DOSTAWCY - P.H. GÓRSKI", 0},    {"222", "VAT NALICZONY", 987.65},
                                    {"201-00001", "ODBIORCY - SKLEP NR 1", 310.00}, {"221", "VAT NALEŻNY", -1210.00}};
        for (const Account& a : accounts) {
            Record r(f);
            r.text("KONTO", a.konto).text("NAZWA", mazovia(a.name)).set("KWOTA", a.kwota);
            f.append_record(r.data());
        }
    });
}

// The settings the office's other programs keep in the shared parameter
// file: the VAT rates of the register's tax groups, which only they write,
// and the price levels the goods carry. The program adds its own defaults
// for everything else.
void write_parameters(const std::string& folder) {
    Memvars vars;
    const char* rates[][2] = {{"J_PTUA", "23"}, {"J_PTUB", " 8"}, {"J_PTUC", " 5"}, {"J_PTUD", " 0"},
                              {"J_PTUE", " 0"}, {"J_PTUF", " 0"}, {"J_PTUZ", " 0"}};
    for (const auto& rate : rates) vars.set_text(rate[0], rate[1]);
    vars.set_number("J_POZIOM", 3);
    const std::string bytes = encode_mem(vars, "J_");
    auto file = platform::File::create(folder + "/PARAMETR.MEM");
    file->write_at(bytes.data(), bytes.size(), 0);
}

// An example of the printer setting file, every setting a remark, so that
// the sample prints on the default queue until one is taken in.
void write_print_settings(const std::string& folder) {
    const std::string text =
        "; Drukarki programu DURVA (wydruk klawiszem F5 w edytorze).\r\n"
        "; Bez wierszy LPT1= i LPT2= drukuje domyslna kolejka serwera wydruku, w UTF-8.\r\n"
        "; Kolejki serwera pokazuje polecenie: lpstat -p\r\n"
        "; Aby wlaczyc ustawienie, usun srednik na poczatku wiersza.\r\n"
        ";LPT1=biuro UTF-8\r\n"
        ";LPT2=magazyn ISO-8859-2\r\n"
        ";SERWER=druk.biuro:631\r\n";
    auto file = platform::File::create(folder + "/DRUKARKA.TXT");
    file->write_at(text.data(), text.size(), 0);
}

// A new empty folder "TARGET.nowy-XXXXXX" beside `target`, made by this call,
// open to the office's users as any new folder would be.
fs::path fresh_folder_beside(const fs::path& target) {
    fs::create_directories(target.parent_path());
    std::string name = target.string() + ".nowy-XXXXXX";
    if (!::mkdtemp(name.data()))
        throw std::system_error(errno, std::generic_category(), "Nie moge utworzyc folderu obok " + target.string());
    const mode_t mask = ::umask(0);
    ::umask(mask);
    fs::permissions(name, fs::perms::all & ~static_cast<fs::perms>(mask));
    return name;
}

bool is_office_folder(const fs::path& folder) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (name == "firma.dbf") return true;
    }
    return false;
}

}  // namespace

OfficeSummary write_office(const OfficeOptions& options) {
    fs::path target = fs::absolute(options.folder).lexically_normal();
    if (!target.has_filename()) target = target.parent_path();
    if (target == target.root_path()) throw std::runtime_error("Folder " + options.folder + " nie moze byc folderem biura");
    std::error_code ec;
    if (fs::exists(target, ec)) {
        if (!fs::is_directory(target, ec)) throw std::runtime_error(options.folder + " nie jest folderem");
        if (!fs::is_empty(target, ec)) {
            if (!options.force)
                throw std::runtime_error("Folder " + options.folder + " juz istnieje (--force zastepuje go nowym)");
            if (!is_office_folder(target))
                throw std::runtime_error("Folder " + options.folder +
                                         " nie jest folderem biura (brak firma.dbf); nie zastepuje go");
        }
    }

    int year = 0, month = 0, day = 0;
    options.today.ymd(year, month, day);
    OfficeSummary summary;
    summary.bmr = two_digits(month) + "/" + two_digits(year % 100);
    summary.period_folder = two_digits(year % 100) + "/" + two_digits(month);

    // The new office is put together beside the old one under a name made
    // afresh for this run, so that nothing else ever stands there and what
    // is removed on a failure was this run's own.
    const fs::path staging = fresh_folder_beside(target);
    try {
        fs::create_directories(staging / summary.period_folder);
        platform::TestClock clock(platform::LocalTime{year, month, day, 12, 0, 0});
        Random rng(options.seed);
        const Date first_day = Date::from_ymd(year, month, 1);
        std::vector<Good> goods = make_goods(options.goods, rng, first_day, options.today);
        std::vector<Receipt> receipts = make_receipts(goods, rng, first_day, options.today, options.with_bar_codes);

        TableWriter root(staging.string(), clock);
        write_company(root, summary.bmr);
        write_parameters(staging.string());
        write_print_settings(staging.string());
        TableWriter period((staging / summary.period_folder).string(), clock);
        write_goods(period, goods, options.with_bar_codes);
        write_receipts(period, receipts, goods);
        write_counters(period, receipts.size());
        write_accounts(period);
        summary.goods = goods.size();
        summary.receipts = receipts.size();

        fs::remove_all(target);
        fs::rename(staging, target);
    } catch (...) {
        fs::remove_all(staging, ec);
        throw;
    }
    return summary;
}

}  // namespace durva::demo
