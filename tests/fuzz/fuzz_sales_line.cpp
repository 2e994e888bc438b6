// Any bytes as a sales file and as one sales line. The reader never cuts a
// record in pieces: its lines with their line ends give back the file, and a
// line handed on as complete is short and whole. The parser takes fields only
// from characters 3 to 122, and a row's amounts are the line's figures
// exactly or the line is refused: never a row with another amount.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz_scratch.h"
#include "platform/read_handle.h"
#include "common/line_reader.h"
#include "receive/sales_line.h"

using namespace durva;

namespace {

void check_line(std::string_view line) {
    auto parsed = parse_sales_line(line);
    if (!parsed) return;
    // Four separators in characters 3 to 122, none inside the fields.
    const std::size_t used = parsed->code.size() + parsed->name.size() + 2;
    if (line.size() < 2 + used || parsed->code.find(';') != std::string::npos) std::abort();
    if (2 + parsed->code.size() + 1 > 122) std::abort();
    if (search_code(parsed->code, true).size() < 13) std::abort();
    for (const char* rate : {"23", " 8", "ZW", "", "-100"}) {
        RowAmounts a;
        if (row_amounts(*parsed, rate, a) != AmountFault::None) continue;
        if (std::llround(a.value * 100) != static_cast<long long>(parsed->value)) std::abort();
        if (std::llround(a.quantity * 1000) != static_cast<long long>(parsed->quantity)) std::abort();
        if (!std::isfinite(a.price) || !std::isfinite(a.vat)) std::abort();
        if (a.quantity == 0 && a.price != 0) std::abort();
    }
}

void check_file(const std::string& bytes) {
    const std::string path = fuzz::scratch_path("data_out.xxx");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    platform::ReadHandle handle(path);
    if (!handle.is_open()) std::abort();
    LineReader reader(handle, handle.size());
    std::string line;
    LineKind kind;
    bool last = false;
    std::size_t at = 0;  // where the next line starts in the file
    while (reader.next(line, kind)) {
        if (last) std::abort();  // nothing after an unterminated line
        // What is kept is the line's start; its length covers the rest.
        if (reader.length() < line.size() || bytes.compare(at, line.size(), line) != 0) std::abort();
        if (line.size() > LineReader::kKept) std::abort();
        at += static_cast<std::size_t>(reader.length());
        if (kind == LineKind::Unterminated) {
            last = true;
        } else {
            if (bytes.compare(at, 2, "\r\n") != 0) std::abort();
            at += 2;
        }
        if (kind == LineKind::Complete) {
            if (line.size() > LineReader::kMaxLine || line.find_first_of("\r\n") != std::string::npos) std::abort();
            check_line(line);
        }
    }
    // The whole file, but for an end-of-file byte after the last line end.
    if (at != bytes.size() && !(at + 1 == bytes.size() && bytes.back() == '\x1A')) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    check_line(bytes);
    check_file(bytes);
    return 0;
}
