#pragma once
// Another workstation that holds a file just long enough to refuse the next
// few openings of it: the program's retries of an opening can be counted on
// the test clock without a second process, also for files the program
// creates and opens at once (the scratch table of TWORZ). One at a time;
// openings are let through again when the guard ends.
#include <strings.h>

#include <string>
#include <utility>

#include "platform/file.h"

namespace durva::test {

class RefusedOpenings {
public:
    // Refuses the next `count` openings in `mode` of a file whose name
    // (without its folder, in any case) is `name`.
    RefusedOpenings(std::string name, platform::Share mode, int count) {
        state() = {std::move(name), mode, count, 0};
        platform::set_open_refusal(&refuse);
    }
    ~RefusedOpenings() { platform::set_open_refusal(nullptr); }
    RefusedOpenings(const RefusedOpenings&) = delete;
    RefusedOpenings& operator=(const RefusedOpenings&) = delete;

    // How many openings were refused so far.
    int refused() const { return state().refused; }

private:
    struct State {
        std::string name;
        platform::Share mode = platform::Share::Shared;
        int left = 0, refused = 0;
    };
    static State& state() {
        static State s;
        return s;
    }
    static bool refuse(const std::string& path, platform::Share mode) {
        State& s = state();
        const size_t slash = path.find_last_of('/');
        const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
        if (s.left <= 0 || mode != s.mode || ::strcasecmp(base.c_str(), s.name.c_str()) != 0) return false;
        --s.left;
        ++s.refused;
        return true;
    }
};

}  // namespace durva::test
