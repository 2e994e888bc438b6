#pragma once
// Numbered work areas (1 to 250) holding the open tables under their aliases,
// with one current area, and the run settings every table follows.
#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "common/dbf/table.h"
#include "platform/clock.h"

namespace durva::dbf {

class WorkAreas {
public:
    static constexpr int kAreas = 250;

    WorkAreas() = default;
    ~WorkAreas();
    WorkAreas(const WorkAreas&) = delete;
    WorkAreas& operator=(const WorkAreas&) = delete;

    // Fixed by the program at start; every table opened here follows them.
    TableSettings settings;
    // The clock that dates table headers; the workstation's own when null.
    const platform::Clock* clock = nullptr;
    // How every table opened here waits for another program's append and
    // index locks; a bounded wait without a word when unset.
    std::shared_ptr<platform::LockWaiter> lock_waiter;

    int current() const { return current_; }
    // Selects area 1..250; 0 selects the lowest free area. Anything else is a DbError.
    void select(int area);
    // Selects the area holding `alias` (any case); false and no change when none does.
    bool select(std::string_view alias);
    int area_of(std::string_view alias) const;  // 0 when no area holds it
    // The lowest area in from..to holding no table, 0 when all are taken.
    int first_free(int from = 1, int to = kAreas) const;

    bool used() const { return used(current_); }
    bool used(int area) const;
    // The table of the current area, of an area, of an alias; DbError when there is none.
    Table& table();
    Table& table(int area);
    Table& table(std::string_view alias);
    Table* find(int area);
    Table* find(std::string_view alias);

    // Opens a table in the current area, closing what was there first. The
    // alias defaults to the file name; an alias another area holds is a
    // DbError. The mode defaults to the settings' one.
    Table& use(std::string_view path, std::string_view alias, platform::Share mode, bool read_only = false);
    Table& use(std::string_view path, std::string_view alias = {});

    void close();           // the current area
    void close(int area);
    // Closes every table; each is closed even when another fails, and the
    // first failure is reported afterwards.
    void close_all();
    void commit_all();
    void unlock_all();

private:
    std::array<std::unique_ptr<Table>, kAreas + 1> tables_{};
    int current_ = 1;
};

}  // namespace durva::dbf
