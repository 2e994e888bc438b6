// TWORZ: an empty table from a field-list text, made as the office programs
// make it, through a per-station scratch structure table (strukt<NN>).
#include <string>
#include <vector>

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/xbase_values.h"
#include "common/error_handler.h"
#include "common/locks.h"
#include "common/session.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/path_resolver.h"

namespace durva {

namespace {

// The structure table's own layout: one record per field of the table to make.
dbf::FieldList structure_fields() {
    auto f = [](const char* name, char type, int len) {
        dbf::FieldDesc d;
        d.name = name;
        d.type = type;
        d.length = len;
        return d;
    };
    return {f("FIELD_NAME", 'C', 10), f("FIELD_TYPE", 'C', 1), f("FIELD_LEN", 'N', 3), f("FIELD_DEC", 'N', 3)};
}

// Deletes a table file; false when another workstation holds it open.
bool try_remove(const std::string& dos_path) {
    try {
        platform::remove_file(platform::resolve_path(dos_path));
        return true;
    } catch (const SharingError&) {
        return false;
    }
}

struct ParsedField {
    std::string name, type;
    double width = 0, decimals = 0;
};

// The elements after the path: name, type, width, decimals, four per field.
std::vector<ParsedField> parse_fields(std::string_view rest, const std::string& table) {
    std::vector<std::string> parts;
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        parts.emplace_back(rest.substr(0, comma));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    if (parts.empty() || parts.size() % 4 != 0) throw DbError("Bledna lista pol tabeli", table + ".dbf");
    std::vector<ParsedField> out;
    for (size_t i = 0; i < parts.size(); i += 4) {
        ParsedField f;
        f.name = parts[i];
        f.type = parts[i + 1];
        f.width = dbf::val_number(parts[i + 2]);
        f.decimals = dbf::val_number(parts[i + 3]);
        out.push_back(std::move(f));
    }
    return out;
}

dbf::FieldList to_field_list(dbf::Table& strukt, const std::string& table) {
    dbf::FieldList fields;
    for (strukt.go_top(); !strukt.eof(); strukt.skip(1)) {
        dbf::FieldDesc f;
        f.name = strukt.text("FIELD_NAME");
        std::string type = strukt.text("FIELD_TYPE");
        f.type = type.empty() ? ' ' : type[0];
        f.length = static_cast<int>(strukt.number("FIELD_LEN"));
        f.decimals = static_cast<int>(strukt.number("FIELD_DEC"));
        fields.push_back(f);
    }
    return dbf::DbfFile::checked_layout(fields, platform::resolve_path(table + ".dbf"));
}

}  // namespace

bool TWORZ(Session& s, std::string_view list, bool /*flag*/, int station) {
    auto& areas = s.areas;
    const int remembered = areas.current();

    // A scratch name of this station's that nobody holds open.
    std::string scratch = "strukt" + STR2(station);
    // (At most a hundred names exist; the bound keeps a folder full of held
    // scratch tables from stopping the program.)
    for (int tries = 0; tries < 100 && FILE_X(scratch + ".dbf"); ++tries) {
        areas.close();
        try_remove(scratch + ".dbf");
        if (FILE_X(scratch + ".dbf")) scratch = "strukt" + STR2(dbf::val_number(scratch.substr(6, 2)) + 1);
    }

    size_t comma = list.find(',');
    const std::string table(list.substr(0, comma));
    const std::string_view rest = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    if (FILE_X(table + ".dbf")) {
        areas.close();
        with_error_handler(s, [&] { platform::remove_file(platform::resolve_path(table + ".dbf")); });
    }

    const int area = areas.first_free(88, 98);
    bool opened = false;
    if (area != 0) {
        areas.select(area);
        with_error_handler(s, [&] { dbf::DbfFile::create(scratch + ".dbf", structure_fields(), &s.clock)->close(); });
        opened = NET_USE(s, scratch, "strukt", true, 5);
    }
    if (!opened) {
        _OKNO_(s, "Plik strukt.dbf niedostepny");
        areas.select(remembered);
        return false;
    }

    // The field entries go through the structure table, which cuts them to
    // its widths as it always did; a list that makes no valid table is the
    // general error handler's.
    dbf::FieldList fields = with_error_handler(s, [&] {
        dbf::Table& strukt = areas.table();
        strukt.zap();
        for (const ParsedField& p : parse_fields(rest, table)) {
            strukt.append_blank();
            strukt.put("FIELD_NAME", p.name);
            strukt.put("FIELD_TYPE", p.type);
            strukt.put("FIELD_LEN", p.width);
            strukt.put("FIELD_DEC", p.decimals);
        }
        return to_field_list(strukt, table);
    });
    areas.close();
    with_error_handler(s, [&] { dbf::DbfFile::create(table + ".dbf", fields, &s.clock)->close(); });
    try_remove(scratch + ".dbf");
    areas.select(remembered);
    return true;
}

}  // namespace durva
