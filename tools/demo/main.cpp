// durvademo: writes a sample office folder the program can start in, with
// the tables, indexes and parameter file the office's other programs keep.
#include <iostream>
#include <string>
#include <vector>

#include "common/version.h"
#include "options.h"
#include "platform/clock.h"
#include "platform/errors.h"

int main(int argc, char** argv) {
    using namespace durva;
    demo::CommandLine cl = demo::parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
    if (cl.help) {
        std::cout << demo::kUsage;
        return 0;
    }
    if (cl.version) {
        print_version("durvademo");
        return 0;
    }
    if (!cl.error.empty()) {
        std::cerr << "durvademo: " << cl.error << " (durvademo --help opisuje opcje)\n";
        return 2;
    }
    if (!cl.date_given) {
        platform::LocalTime t = platform::RealClock().local_time();
        cl.office.today = Date::from_ymd(t.year, t.month, t.day);
    }
    try {
        demo::OfficeSummary s = demo::write_office(cl.office);
        std::cout << "durvademo: zapisano folder biura " << cl.office.folder << ": okres " << s.bmr << " (folder "
                  << s.period_folder << "), " << s.goods << " towarow, " << s.receipts << " przyjec PZ"
                  << (cl.office.with_bar_codes ? "" : ", uklad bez KOD13") << "\n";
        return 0;
    } catch (const DbError& e) {
        std::cerr << "durvademo: " << e.cause() << ": " << e.file();
        if (e.os_error()) std::cerr << " (blad systemu " << e.os_error() << ")";
        std::cerr << "\n";
    } catch (const std::exception& e) {
        std::cerr << "durvademo: " << e.what() << "\n";
    }
    return 1;
}
