#pragma once
// A sample office folder with the register simulator beside it, for the
// tests of the scheduled read-out: goods sent to a register, sales rung up on
// it, the program run as the scheduler runs it, and the tables read back.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/dbf/dbf_file.h"
#include "support/child_process.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"

namespace durva::test {

inline const std::string kProgram = std::string(DURVA_BUILD_DIR) + "/durva";
inline const std::string kSimulator = std::string(DURVA_BUILD_DIR) + "/durvadrv.exe";

struct ProgramRun {
    int code = -1;
    std::string line;  // the first line it wrote
};

inline ProgramRun run_program(const std::string& program, const std::vector<std::string>& args) {
    ChildProcess p(program, args);
    ProgramRun r;
    r.line = p.read_line();
    r.code = p.wait_exit_code();
    return r;
}

// PLU records of three goods of the kod13 sample, by their bar codes, and of
// a code no good has.
inline const std::vector<std::string> kPlus = {
    "I;1;5901234123457;CUKIER            ;389;A;3;11100;01;00;;",
    "I;1;0012345678905;TOWAR DRUGI       ;250;A;3;11100;01;00;;",
    "I;1;12345;TOWAR TRZECI      ;199;B;3;11100;01;00;;",
    "I;1;999999;BEZ KARTOTEKI     ;100;A;3;11100;01;00;;",
};

class ReadOutOffice {
public:
    ReadOutOffice() : folder_("kod13") {
        std::filesystem::create_symlink(kSimulator, folder_.path() / "durvadrv.exe");
        std::filesystem::create_directories(folder_.path() / "durva");
    }

    const std::filesystem::path& path() const { return folder_.path(); }
    std::string file(const std::string& relative) const { return folder_.file(relative); }

    // The goods above reach register 1, as a send from the menu would leave them.
    void load_register() {
        std::string text = "S;I;1; ; ;";
        for (const std::string& p : kPlus) text += "\r\n" + p;
        text += "\r\n";
        std::ofstream(file("durva/data_in.txt"), std::ios::binary) << text;
        ASSERT_EQ(simulator({"dp=durva", "if=data_in.txt", "cp=1", "ct=20000", "cs=9600"}).code, 0);
    }
    // Sales rung up on register 1, e.g. "5901234123457*2,12345".
    void sell(const std::string& sales) { ASSERT_EQ(simulator({"dp=durva", "cp=1", "sell=" + sales}).code, 0); }

    // The scheduled read-out of a stand, as a timer starts it.
    ProgramRun read_out(const std::string& stand) const {
        return run_program(kProgram, {"--odczyt", stand, "--folder", path().string()});
    }

    // Every record of a table, deleted flag included, with the booking's
    // time of day and date blanked (they tell when, not what, was booked).
    std::vector<std::string> records(const std::string& table) const {
        auto t = dbf::DbfFile::open(file(table), platform::Share::Shared, true);
        std::vector<std::string> out;
        const std::uint32_t n = t->record_count();
        for (std::uint32_t i = 1; i <= n; ++i) {
            std::string rec(t->record_view(i));
            for (const dbf::FieldDesc& f : t->fields())
                if (f.name == "R_DATA" || f.name == "R_CZAS")
                    rec.replace(static_cast<size_t>(f.offset), static_cast<size_t>(f.length),
                                std::string(static_cast<size_t>(f.length), ' '));
            out.push_back(rec);
        }
        t->close();
        return out;
    }
    size_t documents() const { return records("16/03/dowod.dbf").size(); }
    // A field of a record as the table holds it, blanks kept.
    std::string field(const std::string& table, std::uint32_t recno, const std::string& name) const {
        auto t = dbf::DbfFile::open(file(table), platform::Share::Shared, true);
        const dbf::FieldDesc& f = t->fields()[static_cast<size_t>(t->field_index(name))];
        std::string value(t->record_view(recno).substr(static_cast<size_t>(f.offset), static_cast<size_t>(f.length)));
        t->close();
        return value;
    }
    // Sets a field of a record in a table nobody else has open: numbers
    // right-aligned, texts left-aligned.
    void set_field(const std::string& table, std::uint32_t recno, const std::string& name, const std::string& text) {
        auto t = dbf::DbfFile::open(file(table), platform::Share::Exclusive);
        std::string rec(t->record_view(recno));
        const dbf::FieldDesc& f = t->fields()[static_cast<size_t>(t->field_index(name))];
        const std::string pad(static_cast<size_t>(f.length) - text.size(), ' ');
        rec.replace(static_cast<size_t>(f.offset), static_cast<size_t>(f.length), f.type == 'N' ? pad + text : text + pad);
        t->write_record(recno, rec.data());
        t->commit();
        t->close();
    }

    std::string read(const std::string& relative) const {
        std::ifstream in(file(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    ProgramRun simulator(const std::vector<std::string>& args) {
        CurrentFolder here(path());
        return run_program(kSimulator, args);
    }

    TempFolder folder_;
};

}  // namespace durva::test
