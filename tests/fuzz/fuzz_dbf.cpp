// Table files with damaged headers and field descriptors: opening them gives
// a DbError or a table whose every record and field can be read, never a
// crash, and the file is never written.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "platform/errors.h"
#include "fuzz_scratch.h"

namespace {

const std::string& scratch_file() {
    static const std::string path = durva::fuzz::scratch_path("t.dbf");
    return path;
}

using durva::fuzz::read_all;

void read_everything(durva::platform::Share mode) {
    using namespace durva::dbf;
    try {
        auto t = DbfFile::open(scratch_file(), mode);
        std::uint32_t n = std::min<std::uint32_t>(t->record_count(), 2000);
        for (std::uint32_t r = 1; r <= n; ++r) {
            std::string_view rec = t->record_view(r);
            if (rec.size() != static_cast<size_t>(t->record_length())) std::abort();
            for (const FieldDesc& f : t->fields()) (void)decode_field(f, rec);
        }
        (void)t->record_view(n + 1);
        t->close();
    } catch (const durva::DbError&) {
        // A clear refusal is the expected answer to most damaged files.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(scratch_file(), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    read_everything(durva::platform::Share::Exclusive);
    read_everything(durva::platform::Share::Shared);
    if (read_all(scratch_file()) != bytes) std::abort();  // reading never writes
    return 0;
}
