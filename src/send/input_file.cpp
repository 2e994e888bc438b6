#include "send/input_file.h"

#include <cerrno>
#include <string>

#include "common/dirmake.h"
#include "common/error_handler.h"
#include "platform/errors.h"
#include "platform/folder_file.h"
#include "platform/path_resolver.h"

namespace durva {
namespace {

constexpr size_t kPiece = 64 * 1024;

}  // namespace

InputFileWriter::InputFileWriter(Session& s, std::string_view control_line, bool echo) : s_(s), echo_(echo) {
    DIRMAKE("durva");
    file_ = with_error_handler(s, [&] {
        const std::string path = platform::resolve_path(kInputFile);
        std::FILE* f = platform::stream_on(platform::open_own(path), "wb", true);
        if (!f) throw DbError(platform::not_a_regular_file(errno) ? platform::kNotARegularFile : "Nie moge utworzyc pliku",
                              path, errno);
        return f;
    });
    put(control_line);
}

InputFileWriter::~InputFileWriter() {
    if (file_) std::fclose(file_);
}

void InputFileWriter::write_out() {
    if (file_ && !pending_.empty()) std::fwrite(pending_.data(), 1, pending_.size(), file_);
    pending_.clear();
}

void InputFileWriter::put(std::string_view text) {
    pending_.append(text);
    if (pending_.size() >= kPiece) write_out();
    if (echo_) s_.screen.out(text);
}

void InputFileWriter::record(std::string_view line) {
    put("\r\n");
    put(line);
}

void InputFileWriter::finish() {
    if (!file_) return;
    put("\r\n");
    write_out();
    const bool failed = std::ferror(file_) != 0;
    const int closed = std::fclose(file_);
    const int code = errno;
    file_ = nullptr;
    if (failed || closed != 0)
        handle_db_error(s_, DbError("Blad zapisu pliku", platform::resolve_path(kInputFile), code));
}

}  // namespace durva
