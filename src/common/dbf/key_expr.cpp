#include "common/dbf/key_expr.h"

#include "common/dbf/key_expr_node.h"
#include "common/dbf/xbase_values.h"

namespace durva::dbf {

using keyexpr::Kind;

struct KeyExpr::Impl {
    std::string text;
    // Immutable once built, so copies of a KeyExpr share it.
    std::shared_ptr<const keyexpr::Node> root;
    std::vector<std::pair<int, int>> read;  // the bytes of the record it reads
};

KeyExpr::KeyExpr(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
KeyExpr::KeyExpr(const KeyExpr& o) : impl_(std::make_unique<Impl>(*o.impl_)) {}
KeyExpr& KeyExpr::operator=(const KeyExpr& o) {
    if (this != &o) impl_ = std::make_unique<Impl>(*o.impl_);
    return *this;
}
KeyExpr::KeyExpr(KeyExpr&&) noexcept = default;
KeyExpr& KeyExpr::operator=(KeyExpr&&) noexcept = default;
KeyExpr::~KeyExpr() = default;

KeyExpr KeyExpr::compile(std::string_view text, const FieldList& fields) {
    auto impl = std::make_unique<Impl>();
    impl->text = std::string(text);
    try {
        impl->root = keyexpr::parse_expression(text, fields, &impl->read);
    } catch (const KeyExprError& e) {
        throw KeyExprError(std::string(e.what()) + " (wyrazenie \"" + impl->text + "\")");
    }
    return KeyExpr(std::move(impl));
}

const std::string& KeyExpr::text() const { return impl_->text; }

bool KeyExpr::reads(int offset, int length) const {
    for (const auto& [at, len] : impl_->read)
        if (at < offset + length && offset < at + len) return true;
    return false;
}

XValue::Type KeyExpr::type() const {
    switch (impl_->root->kind) {
        case Kind::Char: return XValue::Type::Char;
        case Kind::Num: return XValue::Type::Num;
        case Kind::Date: return XValue::Type::Date;
        case Kind::Logical: return XValue::Type::Logical;
    }
    return XValue::Type::Char;
}

XValue KeyExpr::eval(std::string_view record) const {
    const keyexpr::Node& root = *impl_->root;
    XValue v;
    v.type = type();
    switch (root.kind) {
        case Kind::Char: root.text(record, v.s); break;
        case Kind::Num: {
            keyexpr::Number n = root.number(record);
            v.n = n.value;
            v.width = n.width;
            v.decimals = n.decimals;
            break;
        }
        case Kind::Date: v.d = Date{root.date(record)}; break;
        case Kind::Logical: v.b = root.logical(record); break;
    }
    return v;
}

std::string number_key(double value, int key_size, int key_decimals) {
    if (key_size <= 0) return {};
    std::string s = str_number(value, key_size, key_decimals < 0 ? 0 : key_decimals);
    bool negative = false;
    for (char& c : s) {
        if (c == ' ') c = '0';
        else if (c == '-') {
            c = '0';
            negative = true;
        }
    }
    if (negative) {
        for (char& c : s)
            if (c >= '0' && c <= '9') c = static_cast<char>(44 - (c - '0'));
    }
    return s;
}

void KeyExpr::eval_key_to(std::string_view record, int key_size, int key_decimals, std::string& out) const {
    const keyexpr::Node& root = *impl_->root;
    out.clear();
    auto size = static_cast<size_t>(key_size < 0 ? 0 : key_size);
    switch (root.kind) {
        case Kind::Char: root.text(record, out); break;
        case Kind::Num: out = number_key(root.number(record).value, key_size, key_decimals); break;
        case Kind::Date: out = Date{root.date(record)}.dtos(); break;
        case Kind::Logical: out.push_back(root.logical(record) ? 'T' : 'F'); break;
    }
    out.resize(size, ' ');
}

std::string KeyExpr::eval_key(std::string_view record, int key_size, int key_decimals) const {
    std::string out;
    eval_key_to(record, key_size, key_decimals, out);
    return out;
}

}  // namespace durva::dbf
