#pragma once
// What a send changes in the sent-record table, kept beside the table until
// the driver says the register took the records. The table itself stays as
// the last good send left it all through the send, the question and the
// driver's run:
//
// - under way, the changes go to durva\as2000z.dbf: a row per good whose
//   row of the table is new or gets a new text, naming the record of the
//   table it goes to (a new row: the record it will be appended as);
// - when the driver reports success, the file is renamed durva\as2000w.dbf
//   (a rename is whole or not at all, whenever the program is killed), its
//   rows are written into the table and the file is removed;
// - otherwise (N at the question, a driver error or no report) the file is
//   removed, and a file left by a program killed before the driver's report
//   is removed by the next send: the table never took the changes.
//   A good the register took all the same is sent again, which does no harm.
//
// A program killed while the rows are written into the table leaves
// durva\as2000w.dbf, which the next send writes into the table again from its
// first row before it reads the table: each row goes to the record it names,
// so a row written twice is written the same. Every reader of the table thus
// finds it as before the send or as after it. One station sends at a time
// (the main menu is held by one station, and the table exclusively whenever
// a send reads or writes it), and only that station touches either file.
// Nothing here is forced to the disk: a power cut can only lose changes, and
// a change lost is a good sent again.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/table.h"
#include "send/sent_lookup.h"

namespace durva {

inline constexpr std::string_view kChangesUnderWay = "durva\\as2000z.dbf";
inline constexpr std::string_view kChangesToWriteIn = "durva\\as2000w.dbf";

// Where a row of the table, or of a file of changes, holds the register
// (PKASA), the code (KOD13) and the text (TEKST).
struct SentRowLayout {
    dbf::FieldDesc pkasa, kod13, tekst;

    // The layout of a table with those three character fields; none otherwise.
    static std::optional<SentRowLayout> of(const dbf::FieldList& fields);
    // The row carries `key` (register and code, kSentKeySize bytes).
    bool holds(std::string_view row, std::string_view key) const;
    void key_of(std::string_view row, std::string& key) const {
        make_sent_key(dbf::field_bytes(row, pkasa), dbf::field_bytes(row, kod13), key);
    }
    // The key as it lies in the row, in a table whose register and code
    // come first at their usual widths (the table this program makes); empty
    // for another table, whose keys key_of() makes.
    std::string_view key_in(std::string_view row) const {
        if (pkasa.offset != 1 || pkasa.length != 2 || kod13.offset != 3 || kod13.length != 13) return {};
        return row.substr(1, kSentKeySize);
    }
    // Rows of `other` begin as rows of this layout do (the same fields at the
    // same places), so that a row of this layout is the first bytes of one of
    // `other` up to `length`, this layout's row length.
    bool heads(const SentRowLayout& other, int length) const {
        auto same = [](const dbf::FieldDesc& a, const dbf::FieldDesc& b) {
            return a.offset == b.offset && a.length == b.length;
        };
        return same(pkasa, other.pkasa) && same(kod13, other.kod13) && same(tekst, other.tekst) &&
               length == 1 + pkasa.length + kod13.length + tekst.length;
    }
    std::string_view text(std::string_view row) const { return dbf::field_bytes(row, tekst); }
};

class SentChanges {
public:
    // A new, empty file of changes (durva\as2000z.dbf, replacing one a send
    // cut short left) whose rows keep register, code and text as the table's
    // do. A DbError when it cannot be made.
    static std::unique_ptr<SentChanges> create(const SentRowLayout& table, const platform::Clock* clock);
    ~SentChanges();
    SentChanges(const SentChanges&) = delete;
    SentChanges& operator=(const SentChanges&) = delete;

    const SentRowLayout& layout() const { return layout_; }
    // A row for `key` with `text` going to record `recno` of the table; `fresh`
    // when that record is to be appended. Returns the row's number here. Rows
    // reach the file in pieces of many (a first send adds one for every good),
    // all of them by close().
    std::uint32_t add(std::string_view key, std::string_view text, std::uint32_t recno, bool fresh);
    void set_text(std::uint32_t row, std::string_view text);
    // Room on the disk for `rows` rows more taken at once (a first send's).
    void reserve(std::uint32_t rows) { file_->reserve_records(rows); }
    // The bytes of a row, valid until the next call.
    std::string_view row(std::uint32_t row);
    // The file complete on the disk and closed.
    void close();

private:
    SentChanges(std::unique_ptr<dbf::DbfFile> file, const SentRowLayout& layout, const dbf::FieldDesc& recno,
                const dbf::FieldDesc& fresh);
    // The row's bytes among the rows not written yet; null for a row of the file.
    char* pending_row(std::uint32_t row);
    void write_pending();

    std::unique_ptr<dbf::DbfFile> file_;
    SentRowLayout layout_;
    dbf::FieldDesc recno_, fresh_;
    std::string blank_, buf_;
    std::string pending_;         // rows added after the file's last, one after another
    std::uint32_t in_file_ = 0;  // rows the file holds
};

// The driver reported success: the changes of the send become the ones to
// write in (durva\as2000z.dbf renamed durva\as2000w.dbf). False when there
// were none, or the rename failed (the changes are then lost, and the goods
// go again at the next send).
bool commit_sent_changes();

// Writes the rows of durva\as2000w.dbf into the table (held exclusively; its
// open indexes follow) and returns true. The file stays until the caller,
// its index brought up to date, says so (sent_changes_written): a kill
// before that has the rows written in again. A file that cannot be read, or
// whose rows do not fit the table (a table deleted and made anew meanwhile),
// is removed without a change to the table; false then, and when there is
// no such file. A failure to write the table is a DbError; the file stays.
bool write_in_sent_changes(dbf::Table& table);
void sent_changes_written();

// Removes the changes of a send that did not reach the register, and those
// of a send cut short.
void drop_sent_changes();

}  // namespace durva
