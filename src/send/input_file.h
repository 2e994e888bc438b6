#pragma once
// The driver input file durva\data_in.txt as a send writes it: created
// afresh, the control line with no line break before it, each record on a
// line of its own preceded by CR LF, a final CR LF and no end-of-file byte.
// Records are written as they are made, gathered in pieces of 64 KB, so a
// send of any size holds little. With echo the same text goes to the screen
// from the cursor on.
#include <cstdio>
#include <string>
#include <string_view>

#include "common/session.h"

namespace durva {

inline constexpr std::string_view kInputFile = "durva\\data_in.txt";
inline constexpr std::string_view kPluControlLine = "S;I;1; ; ;";

class InputFileWriter {
public:
    // Creates the file (and the durva folder when missing) and writes the
    // control line. A file that cannot be created goes to the general error
    // handler, which may end the program.
    InputFileWriter(Session& s, std::string_view control_line, bool echo);
    ~InputFileWriter();
    InputFileWriter(const InputFileWriter&) = delete;
    InputFileWriter& operator=(const InputFileWriter&) = delete;

    void record(std::string_view line);
    // The final line break; the file is closed. A write that failed on the
    // way is reported to the operator here.
    void finish();

private:
    void put(std::string_view text);
    void write_out();

    Session& s_;
    bool echo_;
    std::FILE* file_ = nullptr;
    std::string pending_;  // written when it reaches a piece
};

}  // namespace durva
