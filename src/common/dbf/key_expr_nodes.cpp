// Fields, literals and operators of key expressions.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/date.h"
#include "common/dbf/key_expr.h"
#include "common/dbf/key_expr_node.h"
#include "common/dbf/xbase_values.h"

namespace durva::dbf::keyexpr {

void Node::text(std::string_view, std::string&) const {}
Number Node::number(std::string_view) const { return {}; }
std::int32_t Node::date(std::string_view) const { return 0; }
bool Node::logical(std::string_view) const { return false; }

const char* kind_name(Kind k) {
    switch (k) {
        case Kind::Char: return "tekst";
        case Kind::Num: return "liczba";
        case Kind::Date: return "data";
        case Kind::Logical: return "wartosc logiczna";
    }
    return "?";
}

namespace {

// The bytes of a field in the record; a record cut short reads as blanks
// beyond its end, so a damaged file never makes us read past the buffer.
std::string_view field_bytes(std::string_view record, int offset, int length, std::string& spill) {
    auto off = static_cast<size_t>(offset);
    auto len = static_cast<size_t>(length);
    if (off + len <= record.size()) return record.substr(off, len);
    spill.assign(len, ' ');
    if (off < record.size()) std::memcpy(spill.data(), record.data() + off, record.size() - off);
    return spill;
}

class FieldText : public Node {
public:
    FieldText(int offset, int length) : Node(Kind::Char), offset_(offset), length_(length) {}
    void text(std::string_view rec, std::string& out) const override {
        auto off = static_cast<size_t>(offset_);
        auto len = static_cast<size_t>(length_);
        if (off + len <= rec.size()) {
            out.append(rec.data() + off, len);
        } else {
            size_t have = off < rec.size() ? rec.size() - off : 0;
            out.append(rec.data() + (have ? off : 0), have);
            out.append(len - have, ' ');
        }
    }

private:
    int offset_, length_;
};

class FieldNumber : public Node {
public:
    FieldNumber(int offset, int length, int decimals)
        : Node(Kind::Num), offset_(offset), length_(length), decimals_(decimals) {}
    Number number(std::string_view rec) const override {
        std::string spill;
        return {val_number(field_bytes(rec, offset_, length_, spill)), length_, decimals_};
    }

private:
    int offset_, length_, decimals_;
};

class FieldDate : public Node {
public:
    FieldDate(int offset, int length) : Node(Kind::Date), offset_(offset), length_(length) {}
    std::int32_t date(std::string_view rec) const override {
        std::string spill;
        return Date::from_dtos(field_bytes(rec, offset_, length_, spill)).julian;
    }

private:
    int offset_, length_;
};

class FieldLogical : public Node {
public:
    explicit FieldLogical(int offset) : Node(Kind::Logical), offset_(offset) {}
    bool logical(std::string_view rec) const override {
        auto off = static_cast<size_t>(offset_);
        if (off >= rec.size()) return false;
        char c = rec[off];
        return c == 'T' || c == 't' || c == 'Y' || c == 'y';
    }

private:
    int offset_;
};

class TextLiteral : public Node {
public:
    explicit TextLiteral(std::string v) : Node(Kind::Char), v_(std::move(v)) {}
    void text(std::string_view, std::string& out) const override { out.append(v_); }

private:
    std::string v_;
};

class NumberLiteral : public Node {
public:
    explicit NumberLiteral(Number n) : Node(Kind::Num), n_(n) {}
    Number number(std::string_view) const override { return n_; }

private:
    Number n_;
};

class LogicalLiteral : public Node {
public:
    explicit LogicalLiteral(bool b) : Node(Kind::Logical), b_(b) {}
    bool logical(std::string_view) const override { return b_; }

private:
    bool b_;
};

class Concat : public Node {
public:
    Concat(NodePtr a, NodePtr b) : Node(Kind::Char), a_(std::move(a)), b_(std::move(b)) {}
    void text(std::string_view rec, std::string& out) const override {
        a_->text(rec, out);
        b_->text(rec, out);
    }

private:
    NodePtr a_, b_;
};

// a - b: the trailing blanks of a move behind b.
class ConcatTrimmed : public Node {
public:
    ConcatTrimmed(NodePtr a, NodePtr b) : Node(Kind::Char), a_(std::move(a)), b_(std::move(b)) {}
    void text(std::string_view rec, std::string& out) const override {
        size_t start = out.size();
        a_->text(rec, out);
        size_t end_a = out.size();
        size_t blanks = 0;
        while (end_a - blanks > start && out[end_a - blanks - 1] == ' ') ++blanks;
        b_->text(rec, out);
        if (blanks) {
            out.erase(end_a - blanks, blanks);
            out.append(blanks, ' ');
        }
    }

private:
    NodePtr a_, b_;
};

// Width of a computed number as STR() without a width shows it.
Number computed(double v, int decimals) {
    int width = std::fabs(v) >= 1e10 ? 20 : 10;
    if (decimals > 0) width += decimals + 1;
    return {v, width, decimals};
}

class Arithmetic : public Node {
public:
    Arithmetic(BinOp op, NodePtr a, NodePtr b) : Node(Kind::Num), op_(op), a_(std::move(a)), b_(std::move(b)) {}
    Number number(std::string_view rec) const override {
        Number x = a_->number(rec), y = b_->number(rec);
        switch (op_) {
            case BinOp::Add: return computed(x.value + y.value, std::max(x.decimals, y.decimals));
            case BinOp::Sub: return computed(x.value - y.value, std::max(x.decimals, y.decimals));
            case BinOp::Mul: return computed(x.value * y.value, std::min(x.decimals + y.decimals, 15));
            case BinOp::Div: {
                // The programs' rule: a division by zero gives 0 and work goes on.
                if (y.value == 0) return computed(0, 0);
                double q = x.value / y.value;
                bool whole = x.decimals == 0 && y.decimals == 0 && q == std::trunc(q);
                return computed(q, whole ? 0 : 2);
            }
            case BinOp::Mod: {
                if (y.value == 0) return computed(0, 0);
                return computed(std::fmod(x.value, y.value), std::max(x.decimals, y.decimals));
            }
            default: return {};
        }
    }

private:
    BinOp op_;
    NodePtr a_, b_;
};

class DatePlusDays : public Node {
public:
    DatePlusDays(NodePtr d, NodePtr n, int sign) : Node(Kind::Date), d_(std::move(d)), n_(std::move(n)), sign_(sign) {}
    std::int32_t date(std::string_view rec) const override {
        std::int32_t j = d_->date(rec);
        double days = n_->number(rec).value;
        if (j == 0 || !std::isfinite(days) || std::fabs(days) > 3e6) return 0;
        double r = j + sign_ * std::trunc(days);
        return r > 0 && r < 5373484 ? static_cast<std::int32_t>(r) : 0;
    }

private:
    NodePtr d_, n_;
    int sign_;
};

class DateDifference : public Node {
public:
    DateDifference(NodePtr a, NodePtr b) : Node(Kind::Num), a_(std::move(a)), b_(std::move(b)) {}
    Number number(std::string_view rec) const override {
        return computed(static_cast<double>(a_->date(rec)) - b_->date(rec), 0);
    }

private:
    NodePtr a_, b_;
};

class Negate : public Node {
public:
    explicit Negate(NodePtr a) : Node(Kind::Num), a_(std::move(a)) {}
    Number number(std::string_view rec) const override {
        Number n = a_->number(rec);
        n.value = -n.value;
        return n;
    }

private:
    NodePtr a_;
};

class Not : public Node {
public:
    explicit Not(NodePtr a) : Node(Kind::Logical), a_(std::move(a)) {}
    bool logical(std::string_view rec) const override { return !a_->logical(rec); }

private:
    NodePtr a_;
};

class AndOr : public Node {
public:
    AndOr(bool is_and, NodePtr a, NodePtr b) : Node(Kind::Logical), and_(is_and), a_(std::move(a)), b_(std::move(b)) {}
    bool logical(std::string_view rec) const override {
        bool x = a_->logical(rec);
        if (and_ ? !x : x) return x;
        return b_->logical(rec);
    }

private:
    bool and_;
    NodePtr a_, b_;
};

// Text comparison with SET EXACT off, as the programs compare: a right-hand
// text shorter than the left one compares only its own length.
int compare_text(std::string_view a, std::string_view b, bool exact) {
    if (!exact && b.size() <= a.size()) a = a.substr(0, b.size());
    size_t n = std::min(a.size(), b.size());
    int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (c != 0) return c;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

class Comparison : public Node {
public:
    Comparison(BinOp op, NodePtr a, NodePtr b) : Node(Kind::Logical), op_(op), a_(std::move(a)), b_(std::move(b)) {}
    bool logical(std::string_view rec) const override {
        int c = 0;
        switch (a_->kind) {
            case Kind::Char: {
                std::string x, y;
                a_->text(rec, x);
                b_->text(rec, y);
                if (op_ == BinOp::Contains) return !x.empty() && y.find(x) != std::string::npos;
                c = compare_text(x, y, op_ == BinOp::ExactEq);
                break;
            }
            case Kind::Num: {
                double x = a_->number(rec).value, y = b_->number(rec).value;
                c = x < y ? -1 : x > y ? 1 : 0;
                break;
            }
            case Kind::Date: {
                std::int32_t x = a_->date(rec), y = b_->date(rec);
                c = x < y ? -1 : x > y ? 1 : 0;
                break;
            }
            case Kind::Logical: c = int(a_->logical(rec)) - int(b_->logical(rec)); break;
        }
        switch (op_) {
            case BinOp::Eq:
            case BinOp::ExactEq: return c == 0;
            case BinOp::Ne: return c != 0;
            case BinOp::Lt: return c < 0;
            case BinOp::Le: return c <= 0;
            case BinOp::Gt: return c > 0;
            case BinOp::Ge: return c >= 0;
            default: return false;
        }
    }

private:
    BinOp op_;
    NodePtr a_, b_;
};

const char* op_text(BinOp op) {
    switch (op) {
        case BinOp::Add: return "+";
        case BinOp::Sub: return "-";
        case BinOp::Mul: return "*";
        case BinOp::Div: return "/";
        case BinOp::Mod: return "%";
        case BinOp::Eq: return "=";
        case BinOp::ExactEq: return "==";
        case BinOp::Ne: return "<>";
        case BinOp::Lt: return "<";
        case BinOp::Le: return "<=";
        case BinOp::Gt: return ">";
        case BinOp::Ge: return ">=";
        case BinOp::Contains: return "$";
        case BinOp::And: return ".AND.";
        case BinOp::Or: return ".OR.";
    }
    return "?";
}

[[noreturn]] void type_error(BinOp op, Kind a, Kind b) {
    throw KeyExprError(std::string("Niezgodne typy w wyrazeniu: ") + kind_name(a) + " " + op_text(op) + " " +
                       kind_name(b));
}

}  // namespace

NodePtr make_field(const FieldDesc& f) {
    switch (f.type) {
        case 'N':
        case 'F': return std::make_unique<FieldNumber>(f.offset, f.length, f.decimals);
        case 'D': return std::make_unique<FieldDate>(f.offset, f.length);
        case 'L': return std::make_unique<FieldLogical>(f.offset);
        default: return std::make_unique<FieldText>(f.offset, f.length);
    }
}

NodePtr make_text(std::string value) { return std::make_unique<TextLiteral>(std::move(value)); }
NodePtr make_number(double value, int width, int decimals) {
    return std::make_unique<NumberLiteral>(Number{value, width, decimals});
}
NodePtr make_logical(bool value) { return std::make_unique<LogicalLiteral>(value); }

NodePtr make_binary(BinOp op, NodePtr a, NodePtr b) {
    Kind ka = a->kind, kb = b->kind;
    switch (op) {
        case BinOp::Add:
            if (ka == Kind::Char && kb == Kind::Char) return std::make_unique<Concat>(std::move(a), std::move(b));
            if (ka == Kind::Num && kb == Kind::Num) return std::make_unique<Arithmetic>(op, std::move(a), std::move(b));
            if (ka == Kind::Date && kb == Kind::Num) return std::make_unique<DatePlusDays>(std::move(a), std::move(b), 1);
            if (ka == Kind::Num && kb == Kind::Date) return std::make_unique<DatePlusDays>(std::move(b), std::move(a), 1);
            break;
        case BinOp::Sub:
            if (ka == Kind::Char && kb == Kind::Char)
                return std::make_unique<ConcatTrimmed>(std::move(a), std::move(b));
            if (ka == Kind::Num && kb == Kind::Num) return std::make_unique<Arithmetic>(op, std::move(a), std::move(b));
            if (ka == Kind::Date && kb == Kind::Num) return std::make_unique<DatePlusDays>(std::move(a), std::move(b), -1);
            if (ka == Kind::Date && kb == Kind::Date)
                return std::make_unique<DateDifference>(std::move(a), std::move(b));
            break;
        case BinOp::Mul:
        case BinOp::Div:
        case BinOp::Mod:
            if (ka == Kind::Num && kb == Kind::Num) return std::make_unique<Arithmetic>(op, std::move(a), std::move(b));
            break;
        case BinOp::Contains:
            if (ka == Kind::Char && kb == Kind::Char)
                return std::make_unique<Comparison>(op, std::move(a), std::move(b));
            break;
        case BinOp::And:
        case BinOp::Or:
            if (ka == Kind::Logical && kb == Kind::Logical)
                return std::make_unique<AndOr>(op == BinOp::And, std::move(a), std::move(b));
            break;
        default:  // comparisons
            if (ka == kb) return std::make_unique<Comparison>(op, std::move(a), std::move(b));
            break;
    }
    type_error(op, ka, kb);
}

NodePtr make_negate(NodePtr a) {
    if (a->kind != Kind::Num)
        throw KeyExprError(std::string("Minus przed wartoscia typu ") + kind_name(a->kind));
    return std::make_unique<Negate>(std::move(a));
}

NodePtr make_not(NodePtr a) {
    if (a->kind != Kind::Logical)
        throw KeyExprError(std::string(".NOT. przed wartoscia typu ") + kind_name(a->kind));
    return std::make_unique<Not>(std::move(a));
}

}  // namespace durva::dbf::keyexpr
