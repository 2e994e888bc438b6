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

namespace {

// One scratch folder per run, removed when the run ends.
struct ScratchFolder {
    std::string dir;
    ScratchFolder() {
        dir = (std::filesystem::temp_directory_path() / "durva-fuzz-dbf-XXXXXX").string();
        if (!::mkdtemp(dir.data())) std::abort();
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

const std::string& scratch_file() {
    static const ScratchFolder folder;
    static const std::string path = folder.dir + "/t.dbf";
    return path;
}

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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
