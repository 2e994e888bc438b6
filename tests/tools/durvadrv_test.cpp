// The register simulator as the program runs it: the real durvadrv.exe in a
// temporary office folder, given input files byte for byte as the program
// writes them, its error file and output files checked.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "send/plu_record.h"
#include "support/fixture_folder.h"

namespace durva {
namespace {

struct SimRun {
    int status = -1;
    std::string out, err;
};

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class Simulator : public ::testing::Test {
protected:
    test::TempFolder dir;
    std::string durva = dir.file("durva");

    void SetUp() override { std::filesystem::create_directory(durva); }

    // Starts durvadrv.exe in the office folder with exactly these words; its
    // output goes to run<tag>.out and run<tag>.err there.
    pid_t start(const std::vector<std::string>& words, const std::string& tag = "") {
        std::string program = std::string(DURVA_BUILD_DIR) + "/durvadrv.exe";
        std::string out = dir.file("run" + tag + ".out"), err = dir.file("run" + tag + ".err");
        pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
            int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(o, 1);
            ::dup2(e, 2);
            std::vector<char*> argv{program.data()};
            for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        return pid;
    }
    SimRun finish(pid_t pid, const std::string& tag = "") {
        int st = 0;
        ::waitpid(pid, &st, 0);
        return SimRun{WIFEXITED(st) ? WEXITSTATUS(st) : -1, read_file(dir.file("run" + tag + ".out")),
                      read_file(dir.file("run" + tag + ".err"))};
    }
    SimRun run(const std::vector<std::string>& words) { return finish(start(words)); }

    // Writes durva\data_in.txt as the program does (control line, CR LF
    // before each record, a final CR LF) and runs the send command line.
    SimRun send(const std::string& control, const std::vector<std::string>& records, const std::string& port = "1") {
        std::string text = control;
        for (const std::string& r : records) text += "\r\n" + r;
        write_file(durva + "/data_in.txt", text + "\r\n");
        return run({"dp=durva", "if=data_in.txt", "cp=" + port, "ct=20000", "cs=9600"});
    }
    SimRun read_out(const std::string& control, const std::string& port = "1") {
        write_file(durva + "/data_in.txt", control + "\r\n");
        return run({"dp=durva", "if=data_in.txt", "af=T", "cp=" + port, "ct=20000", "cs=9600"});
    }
    std::string error_file() { return read_file(durva + "/error.txt"); }
    // The register's PLU list as a read-out gives it.
    std::string plu_list(const std::string& port = "1") {
        read_out("S;I;0; ; ;", port);
        return read_file(durva + "/data_out.txt");
    }
};

const std::string kMilk = "I;1;5901234123457;MLEKO 2% 1L       ;349;A;3;11100;01;00;;";
const std::string kBread = "I#00;1;12345;0;CHLEB RAZOWY 500G             ;450;B;3;11100;02;00;;00;0;";
const std::string kSalt = "I;1;777;S\xA3L \x9E" "CIEK       ;199;Z;3;01100;07;00;;";  // Mazovia bytes kept as they are

// The short form's name: the first 18 characters, blank-padded.
std::string name18(const std::string& name) { return name + std::string(18 - name.size(), ' '); }

std::vector<std::string> departments() {
    std::vector<std::string> d;
    const char* letters = "ABCDEFZ";
    for (int i = 1; i <= 7; ++i)
        d.push_back("H;1;0" + std::to_string(i) + ";Dzial " + std::to_string(i) + ";0;" + letters[i - 1] + ";1000;00;");
    return d;
}

TEST_F(Simulator, TakesGoodRecordsOfBothFormsAndListsThemForDeletion) {
    SimRun r = send("S;I;1; ; ;", {kMilk, kBread, kSalt});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(error_file().rfind("0;0;", 0), 0u) << error_file();
    EXPECT_EQ(plu_list(),
              "P;1;12345;CHLEB RAZOWY 500G             ;450;B;02;\r\n"
              "P;1;5901234123457;MLEKO 2% 1L       ;349;A;01;\r\n"
              "P;1;777;S\xA3L \x9E" "CIEK       ;199;Z;07;\r\n");
    EXPECT_EQ(error_file().rfind("0;0;", 0), 0u);
    // The register that holds a PLU already takes a new price for it.
    send("S;I;1; ; ;", {"I;1;777;" + name18("SOL") + ";205;Z;3;11100;07;00;;"});
    EXPECT_NE(plu_list().find("P;1;777;" + name18("SOL") + ";205;Z;07;"), std::string::npos);
}

TEST_F(Simulator, TakesEveryRecordTheProgramBuilds) {
    struct Good {
        std::string kod13, indeks, nazwa, podatek0;
        double cena2;
    };
    const Good goods[] = {
        {"5901234123457", "10001   ", "CUKIER BIA\x9CY KRYSZTA\x9C 1KG   ", "23", 3.49},
        {"12345        ", "10002   ", "\x8F\x86\x9C\x92\x98\x9E\xA1\xA7\xA0\xA6 abc; (1L) +5%   ", " 8", 0},
        {"0012         ", "10003   ", std::string(30, ' '), " 5", 99999999.99},
        {"7            ", "10004   ", "HERBATA;KAWA;KAKAO 100G       ", "ZW", 12.3},
        {"2854321      ", "10005   ", "SER \x90\x91 \x01\x1A WAGA            ", " 0", 0.01},
    };
    for (bool long_form : {false, true}) {
        for (SendRoad road : {SendRoad::Main, SendRoad::Documents}) {
            PluSettings st;
            st.vat_rates = {std::string("23"), std::string(" 8"), std::string(" 5"), std::string(" 0"), std::nullopt,
                            std::nullopt};
            st.long_form = long_form;
            st.shorten_28_codes = true;
            std::string previous(kNoPreviousCode);
            std::vector<std::string> records;
            for (const Good& g : goods) {
                PluRecord r = build_plu_record(st, {g.kod13, g.indeks, g.nazwa, g.podatek0, g.cena2, 0, std::nullopt},
                                               road, previous);
                if (r.accepted()) records.push_back(r.text);
            }
            SCOPED_TRACE(std::to_string(records.size()) + " records, first " + records.front());
            ASSERT_GE(records.size(), 4u);
            std::filesystem::remove(durva + "/durvadrv_cp1.dat");
            SimRun run_result = send("S;I;1; ; ;", records);
            EXPECT_EQ(run_result.status, 0);
            EXPECT_EQ(error_file().rfind("0;0;", 0), 0u) << error_file();
            size_t listed = 0;
            std::string list = plu_list();
            for (size_t at = 0; (at = list.find("\r\n", at)) != std::string::npos; at += 2) ++listed;
            EXPECT_EQ(listed, records.size());
        }
    }
}

TEST_F(Simulator, StopsAtTheFirstBadRecordKeepingThoseBeforeIt) {
    struct Case {
        const char* what;
        std::string record;
        int code;
    };
    const std::string n18 = "NAZWA TOWARU 18 ZN";
    const Case cases[] = {
        {"a field missing", "I;1;123;" + n18 + ";349;A;3;11100;01;00;", 4},
        {"a semicolon in the name", "I;1;123;NAZWA;TOWARU 18 ZN;349;A;3;11100;01;00;;", 4},
        {"no closing semicolon", "I;1;123;" + n18 + ";349;A;3;11100;01;00;;x", 4},
        {"an unknown record kind", "X;1;123;" + n18 + ";349;A;3;11100;01;00;;", 4},
        {"an empty line", "", 4},
        {"flags not of 0 and 1", "I;1;123;" + n18 + ";349;A;3;11200;01;00;;", 4},
        {"a long form fixed field", "I#00;1;123;1;" + n18 + ";349;A;3;11100;01;00;;00;0;", 4},
        {"a letter in the code", "I;1;12a;" + n18 + ";349;A;3;11100;01;00;;", 5},
        {"a 14-digit code", "I;1;12345678901234;" + n18 + ";349;A;3;11100;01;00;;", 5},
        {"an empty code", "I;1;;" + n18 + ";349;A;3;11100;01;00;;", 5},
        {"a short-form name of 19", "I;1;123;" + n18 + "X;349;A;3;11100;01;00;;", 6},
        {"a long-form name of 41", "I#00;1;123;0;" + std::string(41, 'N') + ";349;A;3;11100;01;00;;00;0;", 6},
        {"an empty name", "I;1;123;;349;A;3;11100;01;00;;", 6},
        {"a control byte in the name", "I;1;123;NAZWA\tTOWARU;349;A;3;11100;01;00;;", 6},
        {"a decimal comma in the price", "I;1;123;" + n18 + ";3,49;A;3;11100;01;00;;", 7},
        {"a decimal point in the price", "I;1;123;" + n18 + ";3.49;A;3;11100;01;00;;", 7},
        {"a price that did not fit", "I;1;123;" + n18 + ";**********;A;3;11100;01;00;;", 7},
        {"an 11-digit price", "I;1;123;" + n18 + ";12345678901;A;3;11100;01;00;;", 7},
        {"VAT letter G", "I;1;123;" + n18 + ";349;G;3;11100;01;00;;", 8},
        {"a lower-case VAT letter", "I;1;123;" + n18 + ";349;a;3;11100;01;00;;", 8},
        {"department 08", "I;1;123;" + n18 + ";349;A;3;11100;08;00;;", 9},
        {"department 00", "I;1;123;" + n18 + ";349;A;3;11100;00;00;;", 9},
        {"department of one digit", "I;1;123;" + n18 + ";349;A;3;11100;1;00;;", 9},
        {"a deletion of a PLU it lacks", "P;1;4444;X;1;A;01;", 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(durva + "/durvadrv_cp1.dat");
        SimRun r = send("S;I;1; ; ;", {kMilk, c.record, kBread});
        EXPECT_EQ(r.status, 1);
        std::string e = error_file();
        EXPECT_EQ(e.rfind(std::to_string(c.code) + ";2;", 0), 0u) << e;
        EXPECT_EQ(e.substr(e.size() - 2), "\r\n");
        std::string list = plu_list();
        EXPECT_NE(list.find("P;1;5901234123457;"), std::string::npos) << "the record before the bad one is kept";
        EXPECT_EQ(list.find("P;1;12345;"), std::string::npos) << "nothing after the bad one is applied";
    }
}

TEST_F(Simulator, ControlLinesItDoesNotKnowOrRecordsWhereNoneBelong) {
    struct Case {
        std::string file;
        std::string starts;
    };
    const Case cases[] = {
        {"S;X;1; ; ;\r\n", "1;0;"},
        {"S;I;1; ; \r\n", "1;0;"},
        {"\r\nS;I;1; ; ;\r\n", "1;0;"},
        {"", "1;0;"},
        {"S;D;1;7;1;\r\n", "1;0;"},
        {"S;U;2; ; ;\r\n" + kMilk + "\r\n", "4;1;"},
        {"S;I;0; ; ;\r\n" + kMilk + "\r\n", "4;1;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        write_file(durva + "/data_in.txt", c.file);
        SimRun r = run({"dp=durva", "if=data_in.txt", "af=T", "cp=1", "ct=20000", "cs=9600"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(error_file().rfind(c.starts, 0), 0u) << error_file();
    }
    EXPECT_FALSE(std::filesystem::exists(durva + "/data_out.xxx"));
}

TEST_F(Simulator, ProgramsTheSevenDepartmentsAndChecksThem) {
    SimRun ok = run({"dp=durva", "if=data_in.txt", "cp=1", "cs=9600"});  // no input file yet
    EXPECT_EQ(error_file().rfind("2;;", 0), 0u) << error_file();

    std::vector<std::string> d = departments();
    d[1] = "H;1;02;Pieczywo;0;B;1000;00;";
    write_file(durva + "/data_in.txt", "S;D;1;1;7;\r\n" + [&] {
        std::string s;
        for (const std::string& r : d) s += r + "\r\n";
        return s;
    }());
    ok = run({"dp=durva", "if=data_in.txt", "cp=1", "cs=9600"});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(error_file().rfind("0;0;", 0), 0u) << error_file();
    EXPECT_NE(run({"dp=durva", "cp=1", "show"}).out.find("02 Pieczywo B"), std::string::npos);

    struct Case {
        const char* what;
        int index;  // record replaced (or -1: count changed)
        std::string record;
        size_t count;
        std::string starts;
    };
    const Case cases[] = {
        {"VAT letter H", 2, "H;1;03;Dzial 3;0;H;1000;00;", 7, "8;3;"},
        {"department 8", 6, "H;1;08;Dzial 8;0;Z;1000;00;", 7, "9;7;"},
        {"a name of 19", 0, "H;1;01;" + std::string(19, 'D') + ";0;A;1000;00;", 7, "6;1;"},
        {"a field too many", 4, "H;1;05;Dzial 5;0;E;1000;00;1;", 7, "4;5;"},
        {"a PLU record among them", 3, kMilk, 7, "4;4;"},
        {"six records", -1, "", 6, "11;7;"},
        {"eight records", -1, "", 8, "11;8;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> records = departments();
        if (c.index >= 0) records[static_cast<size_t>(c.index)] = c.record;
        records.resize(c.count, records.back());
        SimRun r = send("S;D;1;1;7;", records);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(error_file().rfind(c.starts, 0), 0u) << error_file();
    }
}

TEST_F(Simulator, PluListLinesSentBackDeleteThosePlus) {
    send("S;I;1; ; ;", {kMilk, kBread, kSalt});
    std::string list = plu_list();
    // Four characters, the code, ";": the layout the deletion relies on.
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = list.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(list.substr(at, end - at));
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& l : lines) EXPECT_EQ(l.substr(0, 4), "P;1;");
    EXPECT_EQ(lines[0].substr(4, 6), "12345;");
    EXPECT_EQ(lines[1].substr(4, 14), "5901234123457;");
    EXPECT_EQ(lines[2].substr(4, 4), "777;");

    SimRun r = send("S;I;1; ; ;", {lines[0], lines[2]});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(error_file().rfind("0;0;", 0), 0u) << error_file();
    EXPECT_EQ(plu_list(), lines[1] + "\r\n");

    // The same lines again: those PLUs are gone, so the register refuses the first.
    r = send("S;I;1; ; ;", {lines[1], lines[0]});
    EXPECT_EQ(error_file().rfind("10;2;", 0), 0u) << error_file();
    EXPECT_EQ(plu_list(), "");
}

TEST_F(Simulator, SalesAreReadOutInHundredthsAndThousandthsAndTheJournalEmptied) {
    send("S;I;1; ; ;", {kMilk, kBread, kSalt, "I;1;9;" + name18("GROSZ") + ";1;A;3;11100;01;00;;"});
    SimRun s = run({"dp=durva", "cp=1", "sell=5901234123457*2,12345*0.5,777*0.333,9*0.5,9*0.001"});
    ASSERT_EQ(s.status, 0) << s.err;
    s = run({"cp=1", "sell=777", "dp=durva"});
    ASSERT_EQ(s.status, 0) << s.err;
    SimRun r = read_out("S;U;2; ; ;");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(error_file().rfind("0;0;", 0), 0u);
    EXPECT_EQ(read_file(durva + "/data_out.xxx"),
              "S;5901234123457;MLEKO 2% 1L       ;698;2000;\r\n"
              "S;12345;CHLEB RAZOWY 500G             ;225;500;\r\n"
              "S;777;S\xA3L \x9E" "CIEK       ;66;333;\r\n"  // 1.99 x 0.333 = 0.66267
              "S;9;" + name18("GROSZ") + ";1;500;\r\n"  // half a grosz rounds up
              "S;9;" + name18("GROSZ") + ";0;1;\r\n"
              "S;777;S\xA3L \x9E" "CIEK       ;199;1000;\r\n");

    // Read out again: nothing new, and an empty file rather than none, so
    // the program never takes the PLU list for sales.
    read_out("S;U;2; ; ;");
    EXPECT_EQ(error_file().rfind("0;0;", 0), 0u);
    EXPECT_TRUE(std::filesystem::exists(durva + "/data_out.xxx"));
    EXPECT_EQ(read_file(durva + "/data_out.xxx"), "");
}

TEST_F(Simulator, RefusedSalesRingUpNothing) {
    send("S;I;1; ; ;", {kMilk});
    const char* refused[] = {"sell=5901234123457*1,4444*1", "sell=5901234123457*1.2345", "sell=5901234123457*0",
                             "sell=5901234123457*-1", "sell=abc", "sell=", "sell=random:0", "sell=random:x"};
    for (const char* sell : refused) {
        SCOPED_TRACE(sell);
        SimRun r = run({"dp=durva", "cp=1", sell});
        EXPECT_EQ(r.status, 1);
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_NE(run({"dp=durva", "cp=1", "sell=4444"}).err.find("nie ma PLU 4444"), std::string::npos);
    // Another port's register is another register.
    EXPECT_EQ(run({"dp=durva", "cp=2", "sell=5901234123457"}).status, 1);
    read_out("S;U;2; ; ;");
    EXPECT_EQ(read_file(durva + "/data_out.xxx"), "");
}

TEST_F(Simulator, RandomSalesAreRepeatableWithASeed) {
    send("S;I;1; ; ;", {kMilk, kBread, kSalt}, "3");
    ASSERT_EQ(run({"dp=durva", "cp=3", "sell=random:25", "seed=7"}).status, 0);
    read_out("S;U;2; ; ;", "3");
    std::string first = read_file(durva + "/data_out.xxx");
    ASSERT_EQ(run({"dp=durva", "cp=03", "sell=random:25", "seed=7"}).status, 0);
    read_out("S;U;2; ; ;", "3");
    EXPECT_EQ(read_file(durva + "/data_out.xxx"), first);
    size_t lines = 0;
    for (size_t at = 0, end; (end = first.find("\r\n", at)) != std::string::npos; at = end + 2, ++lines) {
        std::string code = first.substr(at + 2, first.find(';', at + 2) - at - 2);
        EXPECT_TRUE(code == "5901234123457" || code == "12345" || code == "777") << code;
    }
    EXPECT_EQ(lines, 25u);
}

TEST_F(Simulator, SalesRungUpAtOnceOnOnePortAreAllKept) {
    send("S;I;1; ; ;", {kMilk, kBread, kSalt});
    std::vector<pid_t> cashiers;
    for (int i = 0; i < 6; ++i)
        cashiers.push_back(start({"dp=durva", "cp=1", "sell=random:40", "seed=" + std::to_string(i)}, std::to_string(i)));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(finish(cashiers[static_cast<size_t>(i)], std::to_string(i)).status, 0);
    read_out("S;U;2; ; ;");
    std::string sales = read_file(durva + "/data_out.xxx");
    size_t lines = 0;
    for (size_t at = 0; (at = sales.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 240u);
}

TEST_F(Simulator, EveryDriverCommandLineIsAccepted) {
    send("S;I;1; ; ;", {kMilk});
    const std::vector<std::vector<std::string>> lines = {
        {"dp=durva", "if=data_in.txt", "cp=1", "ct=20000", "cs=9600"},
        {"dp=durva", "if=data_in.txt", "af=T", "cp=1", "ct=20000", "cs=9600"},
        {"dp=durva", "if=data_in.txt", "cp=1", "cs=19200"},
        {"cs=9600", "CP=1", "IF=DATA_IN.TXT", "DP=DURVA"},
    };
    for (const auto& words : lines) {
        write_file(durva + "/data_in.txt", "S;I;0; ; ;\r\n");
        std::filesystem::remove(durva + "/error.txt");
        SimRun r = run(words);
        EXPECT_EQ(r.status, 0) << words[0] << r.err;
        EXPECT_EQ(error_file().rfind("0;0;", 0), 0u);
        EXPECT_NE(read_file(durva + "/data_out.txt").find("5901234123457"), std::string::npos);
    }
}

TEST_F(Simulator, BadArgumentsAreReportedInTheErrorFile) {
    write_file(durva + "/data_in.txt", "S;I;0; ; ;\r\n");
    const std::vector<std::vector<std::string>> bad = {
        {"dp=durva", "cp=1", "cs=9600"},
        {"dp=durva", "if=data_in.txt", "cp=1"},
        {"dp=durva", "if=data_in.txt", "cp=1", "cs=fast"},
        {"dp=durva", "if=data_in.txt", "cp=x1", "cs=9600"},
        {"dp=durva", "if=data_in.txt", "cp=1", "cp=2", "cs=9600"},
        {"dp=durva", "if=data_in.txt", "af=X", "cp=1", "cs=9600"},
        {"dp=durva", "if=data_in.txt", "cp=1", "cs=9600", "xx=1"},
        {"dp=durva", "if=data_in.txt", "cp=1", "cs=9600", "/WAIT"},
        {"dp=durva", "if=../data_in.txt", "cp=1", "cs=9600"},
    };
    for (const auto& words : bad) {
        SCOPED_TRACE(words.back());
        std::filesystem::remove(durva + "/error.txt");
        EXPECT_EQ(run(words).status, 1);
        EXPECT_EQ(error_file().rfind("3;;", 0), 0u) << error_file();
    }
    // Without a folder there is no error file to write: the terminal says it.
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"if=data_in.txt", "cp=1", "cs=9600"}, {"dp=nowhere", "if=data_in.txt", "cp=1", "cs=9600"}, {}}) {
        SimRun r = run(words);
        EXPECT_EQ(r.status, 2);
        EXPECT_FALSE(r.err.empty());
    }
    SimRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("sell=KOD*ILOSC"), std::string::npos);
}

TEST_F(Simulator, ARegisterInUseOrDamagedIsReportedAndLeftAlone) {
    send("S;I;1; ; ;", {kMilk});
    int fd = ::open((durva + "/durvadrv_cp1.lck").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    write_file(durva + "/data_in.txt", "S;I;0; ; ;\r\n");
    EXPECT_EQ(run({"dp=durva", "if=data_in.txt", "cp=1", "ct=50", "cs=9600"}).status, 1);
    EXPECT_EQ(error_file().rfind("12;;", 0), 0u) << error_file();
    EXPECT_EQ(run({"dp=durva", "cp=1", "ct=50", "sell=5901234123457"}).status, 1);
    ::close(fd);

    write_file(durva + "/durvadrv_cp1.dat", "DURVADRV STAN 1\nP I;1;12x;N;1;A;3;11100;01;00;;\n");
    EXPECT_EQ(send("S;I;1; ; ;", {kBread}).status, 1);
    EXPECT_EQ(error_file().rfind("13;;", 0), 0u) << error_file();
    EXPECT_EQ(read_file(durva + "/durvadrv_cp1.dat"), "DURVADRV STAN 1\nP I;1;12x;N;1;A;3;11100;01;00;;\n");
}

}  // namespace
}  // namespace durva
