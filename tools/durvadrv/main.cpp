// durvadrv.exe, the register simulator: what the program, the tests, the
// sample office and a newcomer run instead of the driver of a register on a
// serial port. It answers the driver's command lines through the same files
// (error.txt, data_out.txt, data_out.xxx) and keeps each port's register in
// a file of the exchange folder.
//
// Exit status: 0 when all went well; 1 when a run was refused or failed (for
// driver runs the error file says why); 2 when not even the error file could
// be written (no usable dp= folder).
#include <sys/stat.h>

#include <iostream>
#include <string>
#include <vector>

#include "arguments.h"
#include "counter.h"
#include "driver_runs.h"
#include "common/version.h"
#include "platform/path_resolver.h"
#include "register_store.h"

namespace {

bool is_folder(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A driver run says nothing on the terminal, whose screen belongs to the
// program that runs it: the error file is its only word.
int report(const std::string& folder, const durvadrv::Report& r) {
    std::string error;
    std::string text = durvadrv::error_file_text(r);
    if (!durvadrv::write_file_whole(durva::platform::resolve_path(folder + "/error.txt"), text, error)) {
        std::cerr << "durvadrv.exe: " << error << "\n";
        return 2;
    }
    return r.fault == durvadrv::Fault::None ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        std::cerr << durvadrv::kUsage;
        return 2;
    }
    durvadrv::Arguments args = durvadrv::parse_arguments(words);
    if (args.mode == durvadrv::Mode::Help) {
        std::cout << durvadrv::kUsage;
        return 0;
    }
    if (args.mode == durvadrv::Mode::Version) {
        durva::print_version("durvadrv.exe");
        return 0;
    }
    std::string folder = args.folder.empty() ? std::string() : durva::platform::resolve_path(args.folder);
    if (folder.empty() || !is_folder(folder)) {
        std::cerr << "durvadrv.exe: "
                  << (args.folder.empty() ? args.error : "Brak folderu dp=" + args.folder)
                  << "\n(durvadrv.exe --help: sposob uzycia)\n";
        return 2;
    }
    if (!args.error.empty()) {
        if (args.mode != durvadrv::Mode::DriverRun) {
            std::cerr << "durvadrv.exe: " << args.error << "\n(durvadrv.exe --help: sposob uzycia)\n";
            return 1;
        }
        return report(folder, durvadrv::Report{durvadrv::Fault::BadArgument, -1, args.error});
    }
    switch (args.mode) {
        case durvadrv::Mode::Sell:
            return durvadrv::ring_up(folder, args, std::cout, std::cerr);
        case durvadrv::Mode::Show:
            return durvadrv::show_register(folder, args, std::cout, std::cerr);
        default:
            return report(folder, durvadrv::perform_input_file(folder, args));
    }
}
