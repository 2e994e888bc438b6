// Any bytes as what the register simulator reads: an input file (control line
// and records), a register state file, a list of sales. The readers never
// crash, and what they accept survives being written out and read again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../../tools/durvadrv/records.h"
#include "../../tools/durvadrv/register_state.h"

using namespace durvadrv;

namespace {

void check_plu_round_trip(const Plu& plu) {
    // A PLU the register took must come back from its state file and from its
    // PLU list line unchanged.
    RegisterState state;
    state.plus[plu.code] = plu;
    state.journal.push_back(Sale{plu.code, plu.name, plu.price, 1000});
    RegisterState again;
    std::string error;
    if (!decode_state(encode_state(state), again, error)) std::abort();
    const Plu& back = again.plus.at(plu.code);
    if (back.name != plu.name || back.price != plu.price || back.vat != plu.vat || back.department != plu.department ||
        back.long_form != plu.long_form || back.flags != plu.flags)
        std::abort();
    if (again.journal.size() != 1 || again.journal[0].name != plu.name) std::abort();

    PluRecord deletion;
    if (parse_plu_record(plu_list_line(plu), deletion).fault != Fault::None) std::abort();
    if (!deletion.deletion || deletion.plu.code != plu.code) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    std::vector<std::string_view> lines = split_input_lines(bytes);
    size_t total = 0;
    for (std::string_view l : lines) total += l.size();
    if (total > size) std::abort();
    if (!lines.empty()) parse_control_line(lines[0]);
    for (std::string_view line : lines) {
        PluRecord r;
        Problem p = parse_plu_record(line, r);
        if (p.fault == Fault::None && !r.deletion) {
            if (r.plu.code.empty() || r.plu.code.size() > kMaxCodeLength) std::abort();
            check_plu_round_trip(r.plu);
        }
        if (p.fault != Fault::None && p.text.empty()) std::abort();
        Department d;
        if (parse_department(line, d).fault == Fault::None && (d.number < 1 || d.number > 7)) std::abort();
    }

    RegisterState state;
    std::string error;
    if (decode_state(bytes, state, error)) {
        RegisterState again;
        if (!decode_state(encode_state(state), again, error)) std::abort();
        if (again.plus.size() != state.plus.size() || again.journal.size() != state.journal.size()) std::abort();
    }

    std::vector<SaleRequest> sales;
    if (parse_sale_list(bytes, sales, error)) {
        for (const SaleRequest& s : sales)
            if (s.quantity <= 0 || s.quantity > 99999999 || sale_value(9999999999, s.quantity) < 0) std::abort();
    }
    return 0;
}
