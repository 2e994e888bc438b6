#include "common/memvars.h"

#include <cctype>

namespace durva {

std::string Memvars::normalise(std::string_view name) {
    std::string n(name.substr(0, 10));
    for (char& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return n;
}

void Memvars::set(std::string_view name, MemValue value) {
    std::string n = normalise(name);
    for (auto& [key, v] : entries_) {
        if (key == n) { v = std::move(value); return; }
    }
    entries_.emplace_back(std::move(n), std::move(value));
}

const MemValue* Memvars::find(std::string_view name) const {
    std::string n = normalise(name);
    for (const auto& [key, v] : entries_)
        if (key == n) return &v;
    return nullptr;
}

std::string Memvars::text(std::string_view name) const {
    const MemValue* v = find(name);
    if (const auto* s = v ? std::get_if<std::string>(v) : nullptr) return *s;
    return {};
}

double Memvars::number(std::string_view name) const {
    const MemValue* v = find(name);
    if (const auto* n = v ? std::get_if<MemNumber>(v) : nullptr) return n->value;
    return 0;
}

Date Memvars::date(std::string_view name) const {
    const MemValue* v = find(name);
    if (const auto* d = v ? std::get_if<Date>(v) : nullptr) return *d;
    return {};
}

bool Memvars::logical(std::string_view name) const {
    const MemValue* v = find(name);
    if (const auto* b = v ? std::get_if<bool>(v) : nullptr) return *b;
    return false;
}

}  // namespace durva
