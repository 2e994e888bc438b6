#pragma once
// What the steps of a sales booking share: the waits for locks, the table
// file lock held for a batch, and a work-table row as the booking plan keeps it.
#include <cstddef>
#include <string>
#include <string_view>

#include "common/dbf/field_codec.h"
#include "common/session.h"

namespace durva::booking {

// How long a record lock or an append is tried before the operator is told.
inline constexpr double kRecordWait = 15;
// Rows written, or stock changes made, under one taking of a table's file
// lock: few enough that the other workstations' record locks wait only a
// moment for it.
inline constexpr std::size_t kBatchRows = 500;
// Stock changes made under one taking of the goods table's file lock, and
// then forced to disk together: each forcing of the goods table costs a
// booking more than the changes it carries.
inline constexpr std::size_t kStockBatchRows = 10000;

// The file lock of a table, which the caller has just taken, given up when
// the object goes whatever happens; release() gives it up on the way where a
// failure to write what it covered must reach the caller.
class FileLockHold {
public:
    explicit FileLockHold(dbf::Table& t) : t_(t) {}
    ~FileLockHold() {
        if (!held_) return;
        try {
            t_.unlock();
        } catch (...) {
            // The failure that brought us here is the one to report; the lock is gone.
        }
    }
    FileLockHold(const FileLockHold&) = delete;
    FileLockHold& operator=(const FileLockHold&) = delete;
    void release() {
        held_ = false;
        t_.unlock();
    }

private:
    dbf::Table& t_;
    bool held_ = true;
};

// A work-table row as the plan keeps it: its bytes read through the work
// table's layout.
class PlanRow {
public:
    PlanRow(const dbf::Table& dd, std::string_view record) : dd_(dd), rec_(record) {}
    bool has(std::string_view name) const { return dd_.field_pos(name) != 0; }
    std::string text(std::string_view name) const { return std::string(bytes(name)); }
    // The field's bytes within the record the row was made on.
    std::string_view bytes(std::string_view name) const {
        const dbf::FieldDesc* f = desc(name);
        return f ? dbf::field_bytes(rec_, *f) : std::string_view();
    }
    double number(std::string_view name) const {
        const dbf::FieldDesc* f = desc(name);
        return f ? dbf::decode_number(dbf::field_bytes(rec_, *f)) : 0.0;
    }

private:
    const dbf::FieldDesc* desc(std::string_view name) const {
        int pos = dd_.field_pos(name);
        if (pos == 0) return nullptr;
        const dbf::FieldDesc& f = dd_.fields()[static_cast<size_t>(pos - 1)];
        // A record shorter than the layout (a damaged journal) reads as blank.
        return static_cast<std::size_t>(f.offset + f.length) <= rec_.size() ? &f : nullptr;
    }
    const dbf::Table& dd_;
    std::string_view rec_;
};

std::string trim(std::string_view t);

// Selects the work area of `alias` and returns its table.
dbf::Table& select(Session& s, const char* alias);

// Locks the current record of the current area. Past the first `wait`
// seconds the operator is told what the booking waits for, and it goes on
// trying: giving up would lose a row's totals or stock change. An unattended
// run gives up there instead (DbError); the journal keeps what was done.
void lock_until_done(Session& s, const std::string& what, double wait);

// Appends a record to the current area, waiting as lock_until_done does.
void append_until_done(Session& s, const std::string& what, double wait);

}  // namespace durva::booking
