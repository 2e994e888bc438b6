#pragma once
// MEM variable files: the shared PARAMETR.MEM that the office's programs
// save their settings to and restore them from. A file is a run of entries (a
// 32-byte header, then the value) closed by the byte 26.
#include <string>
#include <string_view>

#include "common/memvars.h"

namespace durva {

// What a read or a write achieved. `problem` is empty when all went well;
// otherwise it says in a few words what is wrong, for the caller to show
// after the file's name.
struct MemFileResult {
    int variables = 0;   // variables restored or saved
    std::string problem;
    bool ok() const { return problem.empty(); }
};

// Decodes MEM file bytes into `vars`: a stored variable replaces a variable of
// the same name (whatever its type) and variables the program does not know are
// created. Decoding stops at the first entry that cannot be trusted (unknown
// type, a name that is no name, a value cut short or not a number); the
// entries before it are kept and the rest of `vars` is left as it was.
MemFileResult decode_mem(std::string_view bytes, Memvars& vars);

// Reads the file at a DOS path (found whatever its case) into `vars` as
// decode_mem does; a file that cannot be read leaves `vars` untouched.
MemFileResult restore_mem_file(std::string_view dos_path, Memvars& vars);

// The bytes of a MEM file holding every variable whose name begins with
// `prefix` (all of them when it is empty), in the store's order.
std::string encode_mem(const Memvars& vars, std::string_view prefix);

// Creates (or empties) the file, held exclusively while it is written, and
// writes encode_mem's bytes into it; returns the number of variables saved.
// A file that cannot be created or written is a DbError.
int write_mem_file(std::string_view dos_path, const Memvars& vars, std::string_view prefix);

}  // namespace durva
