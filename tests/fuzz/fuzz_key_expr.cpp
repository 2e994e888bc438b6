// Key expressions as index headers and relations hold them: any text either
// compiles or is refused with a KeyExprError, and a compiled expression
// evaluates on any record bytes to a value of the type fixed at compilation,
// and to keys of exactly the asked size; nothing crashes, loops or reads
// outside the record.
//
// Input: the expression text, a zero byte, then the record bytes (cut or
// padded with blanks to the record length).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/dbf/key_expr.h"

namespace {

using durva::dbf::FieldList;
using durva::dbf::KeyExpr;
using durva::dbf::KeyExprError;
using durva::dbf::XValue;

// Fields of every type the office tables use.
const FieldList& fields() {
    static const FieldList f = [] {
        FieldList l = {{"MAG", 'C', 1, 0, 0},    {"INDEKS", 'C', 8, 0, 0}, {"NAZWA", 'C', 30, 0, 0},
                       {"KOD13", 'C', 13, 0, 0}, {"ILE", 'N', 14, 4, 0},   {"CENA", 'N', 10, 2, 0},
                       {"DATA", 'D', 8, 0, 0},   {"JEST", 'L', 1, 0, 0},   {"LP", 'N', 3, 0, 0}};
        int off = 1;
        for (auto& d : l) {
            d.offset = off;
            off += d.length;
        }
        return l;
    }();
    return f;
}

size_t record_length() {
    const auto& last = fields().back();
    return static_cast<size_t>(last.offset + last.length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string_view in(reinterpret_cast<const char*>(data), size);
    size_t zero = in.find('\0');
    std::string_view text = in.substr(0, zero);
    std::string record(record_length(), ' ');
    if (zero != std::string_view::npos) {
        std::string_view bytes = in.substr(zero + 1);
        record.replace(0, std::min(bytes.size(), record.size()), bytes.substr(0, record.size()));
    }
    try {
        KeyExpr expr = KeyExpr::compile(text, fields());
        XValue v = expr.eval(record);
        if (v.type != expr.type()) std::abort();
        for (int key_size : {1, 8, 10, 256}) {
            std::string key = expr.eval_key(record, key_size, key_size > 4 ? 2 : 0);
            if (key.size() != static_cast<size_t>(key_size)) std::abort();
        }
        // A copy evaluates the same.
        KeyExpr copy = expr;
        if (copy.eval_key(record, 20, 0) != expr.eval_key(record, 20, 0)) std::abort();
    } catch (const KeyExprError&) {
        // Refused with a reason: what an index of such an expression gets.
    }
    return 0;
}
