#include "counter.h"

#include <unistd.h>

#include <chrono>
#include <ostream>
#include <random>

#include "register_store.h"

namespace durvadrv {

namespace {

constexpr long kMaxRandomSales = 100000;

std::string money(std::int64_t hundredths) {
    std::string cents = std::to_string(hundredths % 100);
    return std::to_string(hundredths / 100) + "." + (cents.size() < 2 ? "0" : "") + cents;
}

// N sales of PLUs the register holds: mostly one to three pieces, every
// fourth a weighed amount with grams.
bool random_sales(const RegisterState& state, std::string_view count_text, std::uint32_t seed,
                  std::vector<SaleRequest>& out, std::string& error) {
    long count = 0;
    bool digits = !count_text.empty() && count_text.size() <= 6;
    for (char c : count_text) {
        digits = digits && c >= '0' && c <= '9';
        if (digits) count = count * 10 + (c - '0');
    }
    if (!digits || count < 1 || count > kMaxRandomSales) {
        error = "zla liczba sprzedazy: random:" + std::string(count_text.substr(0, 10));
        return false;
    }
    if (state.plus.empty()) {
        error = "kasa nie ma zadnego PLU";
        return false;
    }
    std::vector<const Plu*> plus;
    for (const auto& entry : state.plus) plus.push_back(&entry.second);
    std::mt19937 gen(seed);
    for (long i = 0; i < count; ++i) {
        const Plu* p = plus[gen() % plus.size()];
        std::int64_t qty = gen() % 4 == 0 ? 125 + static_cast<std::int64_t>(gen() % 2376)
                                          : 1000 * (1 + static_cast<std::int64_t>(gen() % 3));
        out.push_back(SaleRequest{p->code, qty});
    }
    return true;
}

struct OpenRegister {
    RegisterStore store;
    RegisterState state;
    OpenRegister(const std::string& folder, const Arguments& args) : store(folder, args.port) {}
};

bool open_register(OpenRegister& reg, const Arguments& args, std::ostream& err) {
    std::string error;
    if (!reg.store.take(args.wait_ms, error) || !reg.store.load(reg.state, error)) {
        err << "durvadrv.exe: " << error << "\n";
        return false;
    }
    return true;
}

}  // namespace

int ring_up(const std::string& folder, const Arguments& args, std::ostream& out, std::ostream& err) {
    OpenRegister reg(folder, args);
    if (!open_register(reg, args, err)) return 1;
    std::vector<SaleRequest> sales;
    std::string error;
    constexpr std::string_view kRandom = "random:";
    bool ok;
    if (args.sell.rfind(kRandom, 0) == 0) {
        std::uint32_t seed = args.seed ? *args.seed
                                       : static_cast<std::uint32_t>(
                                             std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid());
        ok = random_sales(reg.state, std::string_view(args.sell).substr(kRandom.size()), seed, sales, error);
    } else {
        ok = parse_sale_list(args.sell, sales, error);
    }
    if (!ok) {
        err << "durvadrv.exe: " << error << "\n";
        return 1;
    }
    for (const SaleRequest& s : sales) {
        if (!reg.state.plus.count(s.code)) {
            err << "durvadrv.exe: kasa na porcie " << args.port << " nie ma PLU " << s.code
                << ", nic nie sprzedano\n";
            return 1;
        }
    }
    std::int64_t total = 0;
    for (const SaleRequest& s : sales) {
        const Plu& p = reg.state.plus.at(s.code);
        Sale sale{p.code, p.name, sale_value(p.price, s.quantity), s.quantity};
        total += sale.value;
        out << p.code << " " << p.name << " " << format_thousandths(s.quantity) << " x " << money(p.price) << " = "
            << money(sale.value) << "\n";
        reg.state.journal.push_back(std::move(sale));
    }
    if (!reg.store.save(reg.state, error)) {
        err << "durvadrv.exe: " << error << ", nic nie sprzedano\n";
        return 1;
    }
    out << "Razem " << money(total) << ", sprzedazy do odczytu: " << reg.state.journal.size() << "\n";
    return 0;
}

int show_register(const std::string& folder, const Arguments& args, std::ostream& out, std::ostream& err) {
    OpenRegister reg(folder, args);
    if (!open_register(reg, args, err)) return 1;
    out << "Dzialy:\n";
    for (const Department& d : reg.state.departments)
        out << "  " << (d.number < 10 ? "0" : "") << d.number << " " << d.name << " " << d.vat << "\n";
    out << "PLU: " << reg.state.plus.size() << "\n";
    for (const auto& [code, p] : reg.state.plus)
        out << "  " << code << ";" << p.name << ";" << money(p.price) << ";" << p.vat << ";" << (p.department < 10 ? "0" : "")
            << p.department << ";" << (p.long_form ? "dluga" : "krotka") << "\n";
    out << "Sprzedaz do odczytu: " << reg.state.journal.size() << "\n";
    for (const Sale& s : reg.state.journal)
        out << "  " << s.code << ";" << s.name << ";" << money(s.value) << ";" << format_thousandths(s.quantity) << "\n";
    return 0;
}

}  // namespace durvadrv
