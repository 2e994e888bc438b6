#include "send/sent_records.h"

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/dirmake.h"
#include "common/error_handler.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/path_resolver.h"

namespace durva {
namespace {

constexpr size_t kStoredText = 80;

// One exclusive attempt, with the opening notice every exclusive opening
// shows. Unlike the general opening, a table that cannot be read is no reason
// to stop the program: the send is refused and the table left as it is.
bool open_once(Session& s) {
    const auto saved = s.screen.save(15, 30, 20, 72);
    _OKNO_(s, "Otwieram plik " + std::string(kSentRecordsTable) + ".dbf", "...");
    s.areas.select(kSentRecordsArea);
    bool opened = false;
    try {
        s.areas.use(kSentRecordsTable, "as2000", platform::Share::Exclusive);
        opened = true;
    } catch (const SharingError&) {
        s.screen.inkey(1.0);
    } catch (const DbError&) {
        s.areas.close();
    }
    s.screen.restore(saved);
    return opened;
}

bool fail(Session& s) {
    s.areas.close(kSentRecordsArea);
    _OKNO_(s, kSentRecordsTrouble);
    s.areas.select(2);
    return false;
}

}  // namespace

std::string sent_record_key(std::string_view register_no, std::string_view code) {
    std::string key(register_no.substr(0, 2));
    key.resize(2, ' ');
    for (size_t i = 0; i < 13; ++i) {
        const unsigned char b = i < code.size() ? static_cast<unsigned char>(code[i]) : ' ';
        key += static_cast<char>((256 - b) & 0xFF);
    }
    return key;
}

bool open_sent_records(Session& s) {
    const int remembered = s.areas.current();
    s.areas.close(kSentRecordsArea);
    const std::string dbf_name = std::string(kSentRecordsTable) + ".dbf";
    bool create = !FILE_X(dbf_name);
    if (!create) {
        if (!open_once(s)) return fail(s);
        create = s.areas.table(kSentRecordsArea).field_pos("PKASA") == 0;
        s.areas.close(kSentRecordsArea);
    }
    if (create) {
        DIRMAKE("durva");
        if (!TWORZ(s, kSentRecordsFields, true, s.values.STACJA)) return fail(s);
    }
    if (!open_once(s)) return fail(s);

    _OKNO_(s, "PROSZE CZEKAC ...", "...");
    const bool built = with_error_handler(s, [&] {
        const std::string ntx = std::string(kSentRecordsTable) + ".ntx";
        if (FILE_X(ntx)) platform::remove_file(platform::resolve_path(ntx));
        dbf::Table& t = s.areas.table(kSentRecordsArea);
        t.create_index(ntx, "pkasa+DESCEND(kod13)");
        t.go_top();
        return true;
    });
    s.areas.select(remembered == kSentRecordsArea ? 2 : remembered);
    return built;
}

bool seek_sent_record(Session& s, std::string_view register_no, std::string_view code) {
    return s.areas.table(kSentRecordsArea).seek(sent_record_key(register_no, code), false);
}

bool record_sent(Session& s, std::string_view register_no, const PluRecord& record, SendRoad road, bool resend) {
    dbf::Table& t = s.areas.table(kSentRecordsArea);
    const std::string_view cut = std::string_view(record.text).substr(0, kStoredText);
    if (!seek_sent_record(s, register_no, record.key)) {
        t.append_blank();
        t.put("PKASA", std::string(register_no.substr(0, 2)));
        t.put("KOD13", record.key);
        t.put("TEKST", std::string(cut));
        return true;
    }
    const bool same = std::string_view(t.text("TEKST")).starts_with(cut);
    if (road == SendRoad::Main) {
        if (same && !resend) return false;
        t.put("TEKST", std::string(cut));
        return true;
    }
    if (!same) t.put("TEKST", std::string(cut));
    return true;
}

}  // namespace durva
