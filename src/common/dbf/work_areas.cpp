#include "common/dbf/work_areas.h"

#include <exception>

#include "common/dbf/table_paths.h"
#include "platform/errors.h"

namespace durva::dbf {

namespace {
bool same_alias(std::string_view a, std::string_view b) {
    auto trim = [](std::string_view s) {
        while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
        return s;
    };
    a = trim(a);
    b = trim(b);
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}
}  // namespace

WorkAreas::~WorkAreas() {
    try {
        close_all();
    } catch (...) {
        // Closing at the end of the run has nobody left to tell.
    }
}

void WorkAreas::select(int area) {
    if (area == 0) {
        int free = first_free();
        if (free == 0) throw DbError("Brak wolnego obszaru roboczego", "");
        current_ = free;
        return;
    }
    if (area < 1 || area > kAreas) throw DbError("Bledny numer obszaru roboczego " + std::to_string(area), "");
    current_ = area;
}

bool WorkAreas::select(std::string_view alias) {
    int area = area_of(alias);
    if (area == 0) return false;
    current_ = area;
    return true;
}

int WorkAreas::area_of(std::string_view alias) const {
    for (int i = 1; i <= kAreas; ++i)
        if (tables_[static_cast<size_t>(i)] && same_alias(tables_[static_cast<size_t>(i)]->alias(), alias)) return i;
    return 0;
}

int WorkAreas::first_free(int from, int to) const {
    if (from < 1) from = 1;
    if (to > kAreas) to = kAreas;
    for (int i = from; i <= to; ++i)
        if (!tables_[static_cast<size_t>(i)]) return i;
    return 0;
}

bool WorkAreas::used(int area) const {
    return area >= 1 && area <= kAreas && tables_[static_cast<size_t>(area)] != nullptr;
}

Table* WorkAreas::find(int area) { return used(area) ? tables_[static_cast<size_t>(area)].get() : nullptr; }

Table* WorkAreas::find(std::string_view alias) {
    int area = area_of(alias);
    return area ? tables_[static_cast<size_t>(area)].get() : nullptr;
}

Table& WorkAreas::table() { return table(current_); }

Table& WorkAreas::table(int area) {
    if (Table* t = find(area)) return *t;
    throw DbError("Brak tabeli w obszarze roboczym " + std::to_string(area), "");
}

Table& WorkAreas::table(std::string_view alias) {
    if (Table* t = find(alias)) return *t;
    throw DbError("Brak tabeli o aliasie " + std::string(alias), "");
}

Table& WorkAreas::use(std::string_view path, std::string_view alias, platform::Share mode, bool read_only) {
    close();
    std::string name = alias.empty() ? default_alias(path) : std::string(alias);
    if (int other = area_of(name); other != 0)
        throw DbError("Alias " + name + " uzywany w obszarze " + std::to_string(other), std::string(path));
    auto t = Table::open(path, mode, settings, read_only, clock);
    t->set_lock_waiter(lock_waiter);
    t->set_alias(name);
    tables_[static_cast<size_t>(current_)] = std::move(t);
    return *tables_[static_cast<size_t>(current_)];
}

Table& WorkAreas::use(std::string_view path, std::string_view alias) {
    return use(path, alias, settings.exclusive ? platform::Share::Exclusive : platform::Share::Shared);
}

void WorkAreas::close() { close(current_); }

void WorkAreas::close(int area) {
    if (!used(area)) return;
    std::unique_ptr<Table> t = std::move(tables_[static_cast<size_t>(area)]);
    for (auto& other : tables_)
        if (other) other->drop_relations_to(*t);
    t->close();
}

void WorkAreas::close_all() {
    std::exception_ptr first;
    for (int i = 1; i <= kAreas; ++i) {
        try {
            close(i);
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

void WorkAreas::commit_all() {
    for (auto& t : tables_)
        if (t) t->commit();
}

void WorkAreas::unlock_all() {
    for (auto& t : tables_)
        if (t) t->unlock();
}

}  // namespace durva::dbf
