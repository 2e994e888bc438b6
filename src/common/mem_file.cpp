#include "common/mem_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/file.h"
#include "platform/path_resolver.h"
#include "platform/read_handle.h"

namespace durva {

namespace {

constexpr size_t kHeader = 32;
constexpr unsigned char kEndOfFile = 26;
constexpr size_t kMaxText = 65534;           // the length field holds the text plus its zero byte
constexpr std::int64_t kMaxFileSize = 16 << 20;  // far beyond any settings file
constexpr double kLastJulianDay = 5373484;   // 31.12.9999

unsigned char byte_at(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

double read_double(std::string_view s, size_t at) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | byte_at(s, at + static_cast<size_t>(i));
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

void write_double(std::string& out, double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i) out += static_cast<char>((bits >> (8 * i)) & 0xFF);
}

bool is_name(std::string_view name) {
    if (name.empty()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && i > 0)) return false;
    }
    return true;
}

std::string entry_number(int n) { return "nr " + std::to_string(n); }

}  // namespace

MemFileResult decode_mem(std::string_view bytes, Memvars& vars) {
    MemFileResult result;
    auto note = [&](std::string problem) {
        if (result.problem.empty()) result.problem = std::move(problem);
    };
    if (bytes.empty()) {
        result.problem = "pusty plik";
        return result;
    }
    size_t pos = 0;
    int entry = 0;
    while (pos < bytes.size() && byte_at(bytes, pos) != kEndOfFile) {
        ++entry;
        if (bytes.size() - pos < kHeader) {
            note("urwana zmienna " + entry_number(entry));
            return result;
        }
        const std::string_view header = bytes.substr(pos, kHeader);
        // Byte 10 always ends the name, whatever the writer left there.
        std::string_view name = header.substr(0, 10);
        name = name.substr(0, name.find('\0'));
        if (!is_name(name)) {
            note("zla nazwa zmiennej " + entry_number(entry));
            return result;
        }
        const unsigned char type = byte_at(header, 11) & 0x7F;
        const unsigned lo = byte_at(header, 16), hi = byte_at(header, 17);
        size_t size = 0;
        switch (type) {
            case 'C': size = lo + 256 * hi; break;
            case 'N':
            case 'D': size = 8; break;
            case 'L': size = 1; break;
            default:
                note("nieznany typ zmiennej " + entry_number(entry));
                return result;
        }
        if (bytes.size() - pos - kHeader < size) {
            note("urwana zmienna " + entry_number(entry));
            return result;
        }
        const size_t at = pos + kHeader;
        pos = at + size;

        switch (type) {
            case 'C':
                // The stored length counts the closing zero byte; a length of 0 is
                // written by nobody, but reads as the empty text.
                vars.set(name, std::string(bytes.substr(at, size == 0 ? 0 : size - 1)));
                break;
            case 'N': {
                const double v = read_double(bytes, at);
                if (!std::isfinite(v)) {
                    note("zla wartosc " + std::string(name));
                    continue;
                }
                vars.set(name, MemNumber{v, static_cast<int>(lo), static_cast<int>(hi)});
                break;
            }
            case 'D': {
                const double v = read_double(bytes, at);
                if (!(v >= 0 && v <= kLastJulianDay)) {
                    note("zla wartosc " + std::string(name));
                    continue;
                }
                vars.set(name, Date{static_cast<std::int32_t>(v)});
                break;
            }
            case 'L': vars.set(name, byte_at(bytes, at) != 0); break;
        }
        ++result.variables;
    }
    if (pos >= bytes.size()) note("brak znaku konca pliku");
    return result;
}

MemFileResult restore_mem_file(std::string_view dos_path, Memvars& vars) {
    platform::ReadHandle file(dos_path);
    if (!file.is_open()) return {0, "blad odczytu (kod " + std::to_string(file.open_error()) + ")"};
    const std::int64_t size = file.size();
    if (size > kMaxFileSize) return {0, "plik za duzy"};
    std::string bytes(static_cast<size_t>(size), '\0');
    if (file.read(bytes.data(), bytes.size()) != bytes.size()) return {0, "blad odczytu"};
    return decode_mem(bytes, vars);
}

std::string encode_mem(const Memvars& vars, std::string_view prefix) {
    const std::string wanted = Memvars::normalise(prefix);
    std::string out;
    for (const auto& [name, value] : vars.entries()) {
        if (name.compare(0, wanted.size(), wanted) != 0) continue;
        std::string header(kHeader, '\0');
        name.copy(header.data(), std::min<size_t>(name.size(), 10));
        std::string data;
        if (const auto* text = std::get_if<std::string>(&value)) {
            const size_t len = std::min(text->size(), kMaxText) + 1;
            header[11] = static_cast<char>(0xC3);
            header[16] = static_cast<char>(len & 0xFF);
            header[17] = static_cast<char>(len >> 8);
            data = text->substr(0, len - 1);
            data += '\0';
        } else if (const auto* number = std::get_if<MemNumber>(&value)) {
            header[11] = static_cast<char>(0xCE);
            header[16] = static_cast<char>(std::clamp(number->width, 0, 255));
            header[17] = static_cast<char>(std::clamp(number->decimals, 0, 255));
            write_double(data, number->value);
        } else if (const auto* date = std::get_if<Date>(&value)) {
            header[11] = static_cast<char>(0xC4);
            header[16] = 1;
            write_double(data, date->julian);
        } else {
            header[11] = static_cast<char>(0xCC);
            header[16] = 1;
            data += static_cast<char>(std::get<bool>(value) ? 1 : 0);
        }
        out += header;
        out += data;
    }
    out += static_cast<char>(kEndOfFile);
    return out;
}

int write_mem_file(std::string_view dos_path, const Memvars& vars, std::string_view prefix) {
    const std::string bytes = encode_mem(vars, prefix);
    auto file = platform::File::create(platform::resolve_path(dos_path));
    file->write_at(bytes.data(), bytes.size(), 0);
    const std::string wanted = Memvars::normalise(prefix);
    int saved = 0;
    for (const auto& entry : vars.entries()) saved += entry.first.compare(0, wanted.size(), wanted) == 0;
    return saved;
}

}  // namespace durva
