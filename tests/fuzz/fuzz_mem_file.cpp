// Any bytes as a MEM file: the reader reports damage and never reads past
// the end, and whatever it keeps can be written back and read again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/mem_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    durva::Memvars vars;
    durva::MemFileResult r = durva::decode_mem(std::string_view(reinterpret_cast<const char*>(data), size), vars);
    if (r.variables < 0 || vars.entries().size() > static_cast<size_t>(r.variables)) std::abort();
    durva::Memvars again;
    if (!durva::decode_mem(durva::encode_mem(vars, ""), again).ok()) std::abort();
    if (again.entries().size() != vars.entries().size()) std::abort();
    return 0;
}
