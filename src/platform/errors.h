#pragma once
// The one error type of the file and table layers. It carries what the general
// error handler shows the operator: the cause, the file and the operating
// system's error code (0 when the fault is in the file's bytes, not the OS).
#include <stdexcept>
#include <string>

namespace durva {

class DbError : public std::runtime_error {
public:
    DbError(std::string cause, std::string file, int os_error = 0)
        : std::runtime_error(cause + (file.empty() ? "" : ": " + file)),
          cause_(std::move(cause)), file_(std::move(file)), os_error_(os_error) {}
    const std::string& cause() const { return cause_; }
    const std::string& file() const { return file_; }
    int os_error() const { return os_error_; }

private:
    std::string cause_;
    std::string file_;
    int os_error_;
};

// An opening refused because another workstation holds the file in a mode that
// excludes ours: the one failure callers retry.
class SharingError : public DbError {
public:
    explicit SharingError(std::string file, int os_error = 0)
        : DbError("Plik zajety przez inna stacje", std::move(file), os_error) {}
};

}  // namespace durva
