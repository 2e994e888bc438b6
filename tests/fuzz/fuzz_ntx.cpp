// Index files with damaged headers and pages: opening, walking, seeking and
// verifying give results or a DbError, never a crash; an index verify()
// calls sound walks in order and stays sound through updates; an update that
// fails leaves the file exactly as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/dbf/ntx_index.h"
#include "platform/errors.h"
#include "fuzz_scratch.h"

namespace {

using durva::DbError;
using durva::dbf::FieldList;
using durva::dbf::NtxEntry;
using durva::dbf::NtxIndex;
using durva::platform::Share;

const std::string& scratch_file() {
    static const std::string path = durva::fuzz::scratch_path("t.ntx");
    return path;
}

using durva::fuzz::read_all;

// The fields the sample indexes' expressions name.
const FieldList& fields() {
    static const FieldList f = [] {
        FieldList l = {{"MAG", 'C', 1, 0, 0},    {"INDEKS", 'C', 8, 0, 0}, {"NAZWA", 'C', 30, 0, 0},
                       {"KOD13", 'C', 13, 0, 0}, {"KOD", 'C', 10, 0, 0},   {"KWOTA", 'N', 10, 2, 0},
                       {"DATA", 'D', 8, 0, 0},   {"RD", 'C', 3, 0, 0},     {"NRD", 'C', 8, 0, 0},
                       {"KONTO", 'C', 10, 0, 0}};
        int off = 1;
        for (auto& d : l) {
            d.offset = off;
            off += d.length;
        }
        return l;
    }();
    return f;
}

constexpr std::uint32_t kAnyRecord = 0xFFFFFFFFu;
constexpr int kMaxSteps = 3000;

// Walks and seeks; returns whether verify() called the index sound.
bool read_everything(Share mode) {
    bool sound = false;
    try {
        auto ntx = NtxIndex::open(scratch_file(), mode, fields());
        size_t ks = static_cast<size_t>(ntx->key_size());
        sound = ntx->verify(kAnyRecord).empty();
        std::vector<NtxEntry> walked;
        try {
            for (auto e = ntx->first(); e && walked.size() < kMaxSteps; e = ntx->next(*e)) {
                if (e->key.size() != ks) std::abort();
                walked.push_back(*e);
            }
        } catch (const DbError&) {
            if (sound) std::abort();  // a sound index walks to its end
        }
        if (sound && walked.size() < kMaxSteps && ntx->key_count() != walked.size()) std::abort();
        int back = 0;
        try {
            for (auto e = ntx->last(); e && back < kMaxSteps; e = ntx->prev(*e)) ++back;
        } catch (const DbError&) {
            if (sound) std::abort();
        }
        for (const char* k : {"", "1", "U", "\xFF", "0000", " "}) {
            try {
                auto e = ntx->seek(k);
                if (e && e->key.size() != ks) std::abort();
            } catch (const DbError&) {
                if (sound) std::abort();
            }
        }
        if (!walked.empty()) {
            try {
                (void)ntx->next(walked.front());
                (void)ntx->prev(walked.back());
            } catch (const DbError&) {
                if (sound) std::abort();
            }
        }
    } catch (const DbError&) {
        // Most damaged files are refused at the door.
    }
    return sound;
}

// One update; a failed one must leave the file untouched (a shared opening
// writes through, so the file shows it at once).
template <typename F>
void update(Share mode, F&& change) {
    std::string before = mode == Share::Shared ? read_all(scratch_file()) : std::string();
    try {
        change();
    } catch (const DbError&) {
        if (mode == Share::Shared && read_all(scratch_file()) != before) std::abort();
    }
}

void change_everything(bool sound, Share mode) {
    try {
        auto ntx = NtxIndex::open(scratch_file(), mode, fields());
        std::string ks(static_cast<size_t>(ntx->key_size()), ' ');
        std::string a = ks, z = ks;
        a[0] = '1';
        z[0] = 'Z';
        update(mode, [&] { ntx->insert(a, 7); });
        update(mode, [&] { ntx->insert(z, 8); });
        // Enough equal keys to split a page of short keys (held exclusively it
        // costs no writes; through a shared opening a few are enough).
        const std::uint32_t many = mode == Share::Exclusive ? 60 : 6;
        for (std::uint32_t r = 0; r < many; ++r) update(mode, [&] { ntx->insert(a, 100 + r); });
        update(mode, [&] {
            if (auto e = ntx->first()) ntx->remove(e->key, e->recno);
        });
        update(mode, [&] {
            if (auto e = ntx->last()) ntx->update(e->key, a, e->recno);
        });
        for (std::uint32_t r = 0; r < many; ++r) update(mode, [&] { ntx->remove(a, 100 + r); });
        update(mode, [&] { ntx->remove(z, 8); });
        if (sound && !ntx->verify(kAnyRecord).empty()) std::abort();  // our updates keep a sound tree sound
        ntx->flush();
    } catch (const DbError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    {
        std::ofstream out(scratch_file(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    bool sound = read_everything(Share::Exclusive);
    read_everything(Share::Shared);
    std::string original(reinterpret_cast<const char*>(data), size);
    change_everything(sound, Share::Shared);
    {
        std::ofstream out(scratch_file(), std::ios::binary | std::ios::trunc);
        out.write(original.data(), static_cast<std::streamsize>(original.size()));
    }
    change_everything(sound, Share::Exclusive);
    if (sound) {
        // What the exclusive opening held back reached the file whole.
        try {
            auto again = NtxIndex::open(scratch_file(), Share::Shared, fields(), true);
            if (!again->verify(kAnyRecord).empty()) std::abort();
        } catch (const DbError&) {
            std::abort();
        }
    }
    return 0;
}
