#include "common/vat_groups.h"

#include <variant>

namespace durva {

namespace {

constexpr const char* kSettings[kVatGroupCount] = {"J_PTUA", "J_PTUB", "J_PTUC", "J_PTUD",
                                                   "J_PTUE", "J_PTUF", "J_PTUZ"};
constexpr const char* kUsualRates[kVatGroupCount] = {"23", " 8", " 5", " 0", nullptr, nullptr, kExemptRate};

}  // namespace

char vat_group_letter(int group) {
    if (group < 0 || group >= kVatGroupCount) return '?';
    return group == kExemptGroup ? 'Z' : static_cast<char>('A' + group);
}

std::optional<std::string> vat_group_rate(const Memvars& vars, int group) {
    if (group < 0 || group >= kVatGroupCount) return std::nullopt;
    if (const MemValue* v = vars.find(kSettings[group]); v && std::holds_alternative<std::string>(*v))
        return std::get<std::string>(*v);
    if (kUsualRates[group]) return std::string(kUsualRates[group]);
    return std::nullopt;
}

}  // namespace durva
