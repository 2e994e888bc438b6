#pragma once
// A table as the program's routines see it: one DBF file with its open NTX
// indexes (numbered 1, 2, 3 in the order they were added), a controlling
// order (0 = record order), the record pointer with its BOF, EOF and found
// flags, relations to child tables, and the record lock of its work area.
//
// Changes to the current record are kept in the record buffer and written
// back, with every open index brought up to date, when the pointer moves, on
// commit, unlock and close, as the office's other programs do. Records marked
// deleted are hidden from every move when the settings say so; a seek that
// finds no equal key may stop on the next greater one (soft seek).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/key_expr.h"
#include "common/dbf/ntx_index.h"

namespace durva::dbf {

// The run settings every table follows; the program fixes them at start.
struct TableSettings {
    bool exclusive = false;      // the opening mode when a caller names none
    bool soft_seek = true;       // a failed seek stops on the next greater key
    bool deleted_hidden = true;  // records marked deleted are skipped everywhere
};

class Table {
public:
    using Condition = std::function<bool(Table&)>;
    using Action = std::function<void(Table&)>;

    // Opens a table file (".dbf" is added when the name has no extension).
    // `settings` must outlive the table. Throws SharingError or DbError as
    // DbfFile::open does.
    static std::unique_ptr<Table> open(std::string_view path, platform::Share mode, const TableSettings& settings,
                                       bool read_only = false, const platform::Clock* clock = nullptr);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // Who paces the waits of this table and its indexes for another
    // program's append and index locks (platform::File::lock_wait).
    void set_lock_waiter(std::weak_ptr<platform::LockWaiter> waiter);

    const std::string& alias() const { return alias_; }
    void set_alias(std::string alias) { alias_ = std::move(alias); }
    const std::string& path() const { return dbf_->path(); }
    bool exclusive() const { return dbf_->exclusive(); }
    DbfFile& dbf() { return *dbf_; }

    // Structure. Positions are 1-based; 0 / "" when there is no such field.
    const FieldList& fields() const { return dbf_->fields(); }
    int field_count() const { return static_cast<int>(fields().size()); }
    std::string field_name(int pos) const;
    int field_pos(std::string_view name) const { return dbf_->field_index(name) + 1; }
    // The field's description, nullptr when there is no such field.
    const FieldDesc* field_desc(std::string_view name) const {
        const int i = dbf_->field_index(name);
        return i < 0 ? nullptr : &fields()[static_cast<size_t>(i)];
    }

    // The record pointer. At the end of the table the current record is a
    // blank one numbered record count + 1.
    std::uint32_t recno() const { return recno_; }
    std::uint32_t record_count() { return dbf_->record_count(); }
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }
    bool found() const { return found_; }
    bool deleted() const { return cur_ ? cur_[0] == '*' : dbf_->deleted(recno_); }

    // Moves. Each writes back a pending change first and repositions the
    // child tables of every relation. go_to reaches deleted records too.
    void go_to(std::uint32_t recno);
    void go_top();
    void go_bottom();
    void skip(std::int64_t n = 1);
    // Seeks `key` (cut to the key size) in the controlling order; soft as the
    // settings say unless told. True when a record with an equal key (over
    // the length of `key`) was found.
    bool seek(std::string_view key);
    bool seek(std::string_view key, bool soft);

    // Fields of the current record.
    FieldValue get(std::string_view name) const { return get(field_pos(name)); }
    FieldValue get(int pos) const;
    std::string text(std::string_view name) const;  // the raw bytes, blank-padded
    double number(std::string_view name) const;
    Date date(std::string_view name) const;
    bool logical(std::string_view name) const;
    std::string_view record() const { return {cur(), static_cast<size_t>(dbf_->record_length())}; }
    // Replacing a value needs the record locked (or the table held
    // exclusively or file-locked); it is written back on the next move.
    void put(std::string_view name, const FieldValue& value);
    void put(int pos, const FieldValue& value);
    void delete_record();
    void recall();

    // Appends a blank record that becomes current. In a shared table it is
    // locked and the area's other record lock released; false when it could
    // not be locked (another workstation's file lock). Relations are not
    // repositioned.
    bool append_blank();

    // Appends whole records (bytes of a multiple of the record length) in
    // one write and brings each index up to date in one update; the last
    // becomes current. Needs the table held exclusively or its file lock,
    // under which nobody else can append or lock a record. Returns the
    // number of the first. An index that cannot take the keys is named in
    // the DbError after the others took theirs, and is tried again at the
    // next unlock or commit, as with a single change.
    std::uint32_t append_records(std::string_view records);

    // Locks: at most one record lock per table; a new one releases the old.
    // Taking the lock re-reads the record, so what others wrote is seen.
    bool lock_record();
    bool lock_record(std::uint32_t recno);
    bool lock_file();
    std::uint32_t locked_record() const { return locked_rec_; }
    // Writes back the pending change, then releases the record and file
    // locks. The locks go whatever fails: a record that could not be written
    // is read back as the file has it, and the failure is thrown. An index
    // that could not take a change (a damaged page) is named in the DbError
    // after every other index took it; the change is tried on it again at
    // the next unlock or commit.
    void unlock();
    void commit();
    // commit(), then the table and its indexes forced onto the disk: a
    // power cut after it loses none of the changes made so far.
    void sync_to_disk();
    // commit(), then the forcings that sync_to_disk() makes: the table's file
    // added to `files`, one for each index to `indexes`. The file must be on
    // the disk before its indexes (an index must never name a record the
    // disk does not hold); within each list none depends on another, so they
    // may run together with those of other tables.
    void add_forcings(std::vector<std::function<void()>>& files, std::vector<std::function<void()>>& indexes);
    void close();

    // Indexes. Paths get ".ntx" when they have no extension.
    int index_count() const { return static_cast<int>(indexes_.size()); }
    NtxIndex& index(int n) { return *indexes_.at(static_cast<size_t>(n - 1)); }
    // Adds an index file to the list; the first one becomes the controlling
    // order and the pointer goes to the top.
    void add_index(std::string_view path);
    // Builds an index file from a key expression over every record; it
    // replaces the list (or is added to it) and becomes the controlling order.
    // `seen`, when given, is shown every record (deleted ones too) in record
    // order as the build reads it, so that a caller wanting something else
    // of every record gets it from the same pass.
    using RecordSeen = std::function<void(std::uint32_t recno, std::string_view record)>;
    void create_index(std::string_view path, std::string_view expression, bool unique = false, bool additive = false,
                      const RecordSeen& seen = {});
    void clear_indexes();
    // Sets the controlling order (0 = record order); false for no such index.
    bool set_order(int n);
    int order() const { return order_; }

    // Relations: the child is repositioned on the first record whose key in
    // its controlling order equals `expression` evaluated on this table's
    // current record, or at its end when there is none.
    void set_relation(Table& child, std::string_view expression);
    void clear_relations();
    void drop_relations_to(const Table& child);

    // Copies the visible records meeting the condition, in the controlling
    // order, into a new table (all fields, or the ones named); returns the
    // count. The pointer ends at the end of the table.
    std::uint32_t copy_to(std::string_view path, const Condition& condition = {},
                          const std::vector<std::string>& field_names = {});
    // Appends the visible records of `source` (fields matched by name);
    // returns the count appended.
    std::uint32_t append_from(Table& source, const Condition& condition = {});
    std::uint32_t append_from(std::string_view source_path, const Condition& condition = {});
    // Removes every record of a table held exclusively; its indexes are emptied.
    void zap();
    // Runs `action` on every visible record meeting the condition, in the
    // controlling order, from the top; returns the count.
    std::uint32_t eval(const Action& action, const Condition& condition = {});

private:
    Table(std::unique_ptr<DbfFile> dbf, const TableSettings& settings, const platform::Clock* clock);
    struct Relation {
        Table* child;
        KeyExpr expr;
    };

    // A key change an index could not take: what it still holds for the
    // record (nothing, for a record it never got).
    struct PendingKey {
        NtxIndex* index;
        std::uint32_t recno;
        bool absent;
        std::string held;
    };

    void flush();
    void retry_pending_keys();
    PendingKey* pending_key(const NtxIndex* ix, std::uint32_t recno);
    void forget_pending_key(const NtxIndex* ix, std::uint32_t recno);
    void remember_pending_key(NtxIndex* ix, std::uint32_t recno, bool absent, const std::string& held);
    void release_locks();
    void use_lock_scheme_of(const NtxIndex& ix);
    bool visible() const { return !(settings_->deleted_hidden && loaded_deleted_); }
    const char* cur() const;
    void begin_change();
    std::string_view file_record() const { return dirty_ ? std::string_view(orig_) : record(); }
    bool load(std::uint32_t recno);
    void to_phantom(bool bof);
    void after_move();
    void sync_children();
    void seek_for_relation(const XValue& value);
    void seek_or_end(std::string_view key);
    int field_pos_or_throw(std::string_view name) const;
    NtxIndex* controlling() { return order_ > 0 ? indexes_[static_cast<size_t>(order_ - 1)].get() : nullptr; }
    void refresh_position_key();
    bool position_on_entry(std::optional<NtxEntry> e, bool forward);
    void skip_record_order(std::int64_t n);
    void skip_index_order(std::int64_t n);
    void require_writable_record() const;
    const FieldDesc& field_at(int pos) const;
    // copy_to's way for a table whose records a move in index order would
    // read one by one from the file (table_ordered_copy.cpp).
    bool copies_in_passes() const;
    std::uint32_t copy_in_key_order(DbfFile& out, const std::vector<const FieldDesc*>& from);

    std::unique_ptr<DbfFile> dbf_;
    const TableSettings* settings_;
    const platform::Clock* clock_;
    std::string alias_;
    std::vector<std::unique_ptr<NtxIndex>> indexes_;
    int order_ = 0;

    // The current record's bytes. Held exclusively, a record that is only
    // read stays where the file keeps it and is not even read until its
    // bytes are wanted (cur_ null): moves that look at no field read none.
    // Once changed (or read from a shared table) it lives in rec_, and orig_
    // keeps it as the file and the indexes still have it until it is written
    // back.
    const char* cur_ = nullptr;
    std::string rec_;
    std::string orig_;
    std::string blank_;
    bool loaded_deleted_ = false;  // the deletion flag of the record as load() found it (when hidden)
    std::uint32_t recno_ = 1;
    bool bof_ = true, eof_ = true, found_ = false;
    bool dirty_ = false;     // rec_ differs from the file
    bool appended_ = false;  // the current record's keys are not in the indexes yet
    NtxEntry pos_;           // the current record's entry in the controlling order
    std::uint32_t locked_rec_ = 0;
    std::vector<Relation> relations_;
    std::vector<std::string> old_keys_, new_keys_;  // flush()'s keys, kept to be reused
    std::vector<bool> absent_;                      // flush(): the index holds no entry yet
    std::vector<PendingKey> pending_keys_;
    std::weak_ptr<platform::LockWaiter> lock_waiter_;
};

}  // namespace durva::dbf
