#include "send/kas_plu.h"

#include "common/line_reader.h"
#include "platform/read_handle.h"
#include "send/input_file.h"
#include "send/send_run.h"

namespace durva {
namespace {

// How the driver starts every line of the PLU list it reads out.
constexpr std::string_view kPluListLine = "P;1;";

std::string descend(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>((256 - static_cast<unsigned char>(c)) & 0xFF);
    return out;
}

}  // namespace

bool KAS_PLU(Session& s, const MenuValues& m, int mode) {
    auto& areas = s.areas;
    areas.select(kGoodsArea);
    dbf::Table* goods = areas.find(kGoodsArea);
    const bool kod13 = goods && goods->field_pos("KOD13") > 0;
    if (goods) {
        goods->set_order(kod13 ? 2 : 1);
        goods->go_top();
    }

    platform::ReadHandle list("DURVA\\DATA_OUT.TXT");
    if (list.is_open()) {
        InputFileWriter out(s, kPluControlLine, false);
        const std::string warehouse = m.PS_MAG == " " ? std::string("1") : m.PS_MAG;
        LineReader reader(list, list.size());
        std::string line;
        LineKind kind;
        while (reader.next(line, kind)) {
            // Only the list's own lines go back to the register: anything
            // else in the file (a PLU programming record, a line too long or
            // broken) would be carried out by the driver as it stands, and
            // an empty line would make the register refuse the whole request.
            if (kind != LineKind::Complete || !line.starts_with(kPluListLine)) continue;
            if (mode == static_cast<int>(PluDeletion::All)) {
                out.record(line);
                continue;
            }
            const size_t semi = line.size() > 4 ? line.find(';', 4) : std::string::npos;
            if (semi == std::string::npos || semi == 4) continue;
            std::string code = line.substr(4, semi - 4);
            code.resize(std::max<size_t>(code.size(), 13), ' ');
            bool found = false;
            if (goods) found = goods->seek(kod13 ? descend(code) : warehouse + code.substr(0, 8), false);
            if (!found || (mode == static_cast<int>(PluDeletion::ZeroStock) && goods->number("ILOSC") <= 0))
                out.record(line);
        }
        out.finish();
        list.close();
    }
    if (goods) {
        goods->set_order(1);
        goods->go_top();
    }
    return true;
}

}  // namespace durva
