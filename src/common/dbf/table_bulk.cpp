// Whole-table operations: copying records out, appending another table's
// records, emptying a table, running an action over every record.
#include <cstring>

#include "common/dbf/table.h"
#include "common/dbf/table_paths.h"
#include "platform/errors.h"

namespace durva::dbf {

std::uint32_t Table::copy_to(std::string_view path, const Condition& condition,
                             const std::vector<std::string>& field_names) {
    flush();
    FieldList out_fields;
    std::vector<const FieldDesc*> from;
    if (field_names.empty()) {
        out_fields = fields();
    } else {
        for (const std::string& name : field_names) {
            const FieldDesc& f = field_at(field_pos_or_throw(name));
            out_fields.push_back(f);
            from.push_back(&f);
        }
    }
    auto out = DbfFile::create(with_extension(path, ".dbf"), out_fields, clock_);
    const FieldList& laid = out->fields();
    std::string buf = out->blank_record();
    std::uint32_t n = 0;
    if (!condition && copies_in_passes()) {
        n = copy_in_key_order(*out, from);
        found_ = false;
        to_phantom(n == 0);
        after_move();
        out->close();
        return n;
    }
    for (go_top(); !eof_; skip(1)) {
        if (condition && !condition(*this)) continue;
        const char* rec = cur();
        if (from.empty()) {
            out->append_record(rec);
        } else {
            buf[0] = rec[0];
            for (size_t i = 0; i < from.size(); ++i)
                std::memcpy(buf.data() + laid[i].offset, rec + from[i]->offset,
                            static_cast<size_t>(from[i]->length));
            out->append_record(buf.data());
        }
        ++n;
    }
    out->close();
    return n;
}

namespace {

// Copies one field's value between two layouts that share its name: bytes as
// they are when the layouts agree, else through the value (text cut or
// padded, numbers written again with the new width and decimals).
void copy_field(const FieldDesc& to, char* to_rec, const FieldDesc& from, std::string_view from_rec) {
    std::string_view bytes = field_bytes(from_rec, from);
    if (to.length == from.length && to.decimals == from.decimals) {
        std::memcpy(to_rec + to.offset, bytes.data(), bytes.size());
    } else if (to.type == 'N') {
        encode_number(to, decode_number(bytes), to_rec);
    } else {
        encode_text(to, bytes, to_rec);
    }
}

}  // namespace

std::uint32_t Table::append_from(Table& source, const Condition& condition) {
    flush();
    struct Pair {
        const FieldDesc* to;
        const FieldDesc* from;
    };
    std::vector<Pair> pairs;
    for (const FieldDesc& f : fields()) {
        int j = source.dbf_->field_index(f.name);
        if (j < 0) continue;
        const FieldDesc& g = source.fields()[static_cast<size_t>(j)];
        if (g.type == f.type) pairs.push_back({&f, &g});
    }
    std::uint32_t n = 0;
    for (source.go_top(); !source.eof(); source.skip(1)) {
        if (condition && !condition(source)) continue;
        if (!append_blank()) throw DbError("Nie moge dopisac rekordu", path());
        for (const Pair& p : pairs) copy_field(*p.to, rec_.data(), *p.from, source.record());
        rec_[0] = source.record()[0];
        ++n;
    }
    unlock();
    return n;
}

std::uint32_t Table::append_from(std::string_view source_path, const Condition& condition) {
    auto source = Table::open(source_path, platform::Share::Shared, *settings_, true, clock_);
    std::uint32_t n = append_from(*source, condition);
    source->close();
    return n;
}

void Table::zap() {
    flush();
    if (!dbf_->exclusive()) throw DbError("Tabela nie jest otwarta na wylacznosc", path(), EACCES);
    dbf_->zap();
    locked_rec_ = 0;
    pending_keys_.clear();
    // Each index is built again, empty, from its own expression and with its
    // own flags (order, uniqueness, the lock scheme the other programs use).
    for (auto& ix : indexes_) {
        std::string ix_path = ix->path();
        std::string expression = ix->expression();
        NtxOptions options = ix->options();
        ix.reset();
        ix = NtxIndex::create(ix_path, expression, fields(), 0,
                              [](std::uint32_t) { return std::string_view(); }, platform::Share::Exclusive, options);
        ix->set_lock_waiter(lock_waiter_);
    }
    go_top();
}

std::uint32_t Table::eval(const Action& action, const Condition& condition) {
    std::uint32_t n = 0;
    for (go_top(); !eof_; skip(1)) {
        if (condition && !condition(*this)) continue;
        action(*this);
        ++n;
    }
    flush();
    return n;
}

}  // namespace durva::dbf
