// The functions key expressions may call, with the exact results the other
// office programs give (text cut but never padded by SUBSTR/LEFT/RIGHT, ASCII
// only case mapping, STR rounding and asterisks, DESCEND's byte mapping).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/date.h"
#include "common/dbf/key_expr.h"
#include "common/dbf/key_expr_node.h"
#include "common/dbf/xbase_values.h"

namespace durva::dbf::keyexpr {

namespace {

// A numeric argument as a count or position: truncated, NaN as 0, and kept
// within a range that cannot overflow anything.
long long whole(double v) {
    if (!std::isfinite(v)) return 0;
    if (v > 1e9) return 1'000'000'000;
    if (v < -1e9) return -1'000'000'000;
    return static_cast<long long>(v);
}

// Keeps bytes [from, from + count) of the region of `out` that starts at `start`.
void keep_range(std::string& out, size_t start, size_t from, size_t count) {
    if (from) out.erase(start, from);
    out.resize(start + count);
}

class Substr : public Node {
public:
    Substr(NodePtr s, NodePtr start, NodePtr len)
        : Node(Kind::Char), s_(std::move(s)), start_(std::move(start)), len_(std::move(len)) {}
    void text(std::string_view rec, std::string& out) const override {
        size_t p = out.size();
        s_->text(rec, out);
        auto size = static_cast<long long>(out.size() - p);
        long long pos = whole(start_->number(rec).value);
        long long from = pos > 0 ? pos - 1 : pos == 0 ? 0 : std::max(0LL, size + pos);
        long long count = len_ ? whole(len_->number(rec).value) : size - from;
        if (from >= size || count <= 0) {
            out.resize(p);
            return;
        }
        count = std::min(count, size - from);
        keep_range(out, p, static_cast<size_t>(from), static_cast<size_t>(count));
    }

private:
    NodePtr s_, start_, len_;
};

class LeftRight : public Node {
public:
    LeftRight(NodePtr s, NodePtr n, bool right) : Node(Kind::Char), s_(std::move(s)), n_(std::move(n)), right_(right) {}
    void text(std::string_view rec, std::string& out) const override {
        size_t p = out.size();
        s_->text(rec, out);
        auto size = static_cast<long long>(out.size() - p);
        long long n = whole(n_->number(rec).value);
        if (n <= 0) {
            out.resize(p);
        } else if (n < size) {
            keep_range(out, p, right_ ? static_cast<size_t>(size - n) : 0, static_cast<size_t>(n));
        }
    }

private:
    NodePtr s_, n_;
    bool right_;
};

class CaseMap : public Node {
public:
    CaseMap(NodePtr s, bool upper) : Node(Kind::Char), s_(std::move(s)), upper_(upper) {}
    void text(std::string_view rec, std::string& out) const override {
        size_t p = out.size();
        s_->text(rec, out);
        char lo = upper_ ? 'a' : 'A', hi = upper_ ? 'z' : 'Z';
        for (size_t i = p; i < out.size(); ++i) {
            if (out[i] >= lo && out[i] <= hi) out[i] = static_cast<char>(out[i] ^ 0x20);
        }
    }

private:
    NodePtr s_;
    bool upper_;
};

class Trim : public Node {
public:
    Trim(NodePtr s, bool left, bool right) : Node(Kind::Char), s_(std::move(s)), left_(left), right_(right) {}
    void text(std::string_view rec, std::string& out) const override {
        size_t p = out.size();
        s_->text(rec, out);
        if (right_) {
            size_t e = out.size();
            while (e > p && out[e - 1] == ' ') --e;
            out.resize(e);
        }
        if (left_) {
            size_t b = p;
            while (b < out.size() && (out[b] == ' ' || out[b] == '\t' || out[b] == '\r' || out[b] == '\n')) ++b;
            out.erase(p, b - p);
        }
    }

private:
    NodePtr s_;
    bool left_, right_;
};

// A number as PADR() and its kin show it: its STR() text without leading blanks.
void number_text(const Number& n, std::string& out) {
    std::string s = str_number(n.value, std::clamp(n.width, 1, kMaxNumberWidth), std::clamp(n.decimals, 0, 99));
    size_t b = s.find_first_not_of(' ');
    out.append(b == std::string::npos ? s : s.substr(b));
}

class Pad : public Node {
public:
    enum class Side { Right, Left, Center };
    Pad(NodePtr x, NodePtr n, NodePtr c, Side side)
        : Node(Kind::Char), x_(std::move(x)), n_(std::move(n)), c_(std::move(c)), side_(side) {}
    void text(std::string_view rec, std::string& out) const override {
        size_t p = out.size();
        if (x_->kind == Kind::Num) number_text(x_->number(rec), out);
        else x_->text(rec, out);
        long long n = std::min<long long>(whole(n_->number(rec).value), kMaxTextWidth);
        if (n <= 0) {
            out.resize(p);
            return;
        }
        auto want = static_cast<size_t>(n);
        size_t have = out.size() - p;
        if (have >= want) {
            out.resize(p + want);
            return;
        }
        char fill = ' ';
        if (c_) {
            std::string c;
            c_->text(rec, c);
            if (!c.empty()) fill = c[0];
        }
        size_t missing = want - have;
        size_t before = side_ == Side::Right ? 0 : side_ == Side::Left ? missing : missing / 2;
        out.insert(p, before, fill);
        out.append(missing - before, fill);
    }

private:
    NodePtr x_, n_, c_;
    Side side_;
};

class Str : public Node {
public:
    Str(NodePtr n, NodePtr w, NodePtr d, bool zeros)
        : Node(Kind::Char), n_(std::move(n)), w_(std::move(w)), d_(std::move(d)), zeros_(zeros) {}
    void text(std::string_view rec, std::string& out) const override {
        Number n = n_->number(rec);
        long long width = n.width, decimals = n.decimals;
        if (w_) {
            long long w = whole(w_->number(rec).value);
            if (w >= 1) width = w;
            decimals = d_ ? std::max(0LL, whole(d_->number(rec).value)) : 0;
        }
        width = std::clamp(width, 1LL, static_cast<long long>(kMaxNumberWidth));
        decimals = std::clamp(decimals, 0LL, 99LL);
        std::string s = str_number(n.value, static_cast<int>(width), static_cast<int>(decimals));
        if (zeros_) {
            size_t lead = s.find_first_not_of(' ');
            if (lead != std::string::npos && lead > 0) {
                if (s[lead] == '-') {
                    // The sign moves to the front; the blanks before it become zeros.
                    s[0] = '-';
                    for (size_t i = 1; i <= lead; ++i) s[i] = '0';
                } else {
                    for (size_t i = 0; i < lead; ++i) s[i] = '0';
                }
            }
        }
        out.append(s);
    }

private:
    NodePtr n_, w_, d_;
    bool zeros_;
};

class Dtos : public Node {
public:
    explicit Dtos(NodePtr d) : Node(Kind::Char), d_(std::move(d)) {}
    void text(std::string_view rec, std::string& out) const override { out.append(Date{d_->date(rec)}.dtos()); }

private:
    NodePtr d_;
};

class DescendText : public Node {
public:
    explicit DescendText(NodePtr s) : Node(Kind::Char), s_(std::move(s)) {}
    void text(std::string_view rec, std::string& out) const override {
        size_t p = out.size();
        s_->text(rec, out);
        for (size_t i = p; i < out.size(); ++i)
            out[i] = static_cast<char>((256 - static_cast<unsigned char>(out[i])) & 0xFF);
    }

private:
    NodePtr s_;
};

// DESCEND of a number or a date is a number, so its key is numeric.
class DescendNumber : public Node {
public:
    explicit DescendNumber(NodePtr x) : Node(Kind::Num), x_(std::move(x)) {}
    Number number(std::string_view rec) const override {
        if (x_->kind == Kind::Date) return {5231808.0 - x_->date(rec), 10, 0};
        Number n = x_->number(rec);
        n.value = -n.value;
        return n;
    }

private:
    NodePtr x_;
};

class Val : public Node {
public:
    explicit Val(NodePtr s) : Node(Kind::Num), s_(std::move(s)) {}
    Number number(std::string_view rec) const override {
        std::string s;
        s_->text(rec, s);
        int decimals = 0;
        if (size_t dot = s.find('.'); dot != std::string::npos) {
            for (size_t i = dot + 1; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) ++decimals;
        }
        int width = std::clamp(static_cast<int>(s.size()), 1, kMaxNumberWidth);
        return {val_number(s), width, decimals};
    }

private:
    NodePtr s_;
};

class Iif : public Node {
public:
    Iif(NodePtr c, NodePtr a, NodePtr b) : Node(a->kind), c_(std::move(c)), a_(std::move(a)), b_(std::move(b)) {}
    void text(std::string_view rec, std::string& out) const override { pick(rec).text(rec, out); }
    Number number(std::string_view rec) const override { return pick(rec).number(rec); }
    std::int32_t date(std::string_view rec) const override { return pick(rec).date(rec); }
    bool logical(std::string_view rec) const override { return pick(rec).logical(rec); }

private:
    const Node& pick(std::string_view rec) const { return c_->logical(rec) ? *a_ : *b_; }
    NodePtr c_, a_, b_;
};

using Args = std::vector<NodePtr>;

void need_args(std::string_view fn, const Args& args, size_t min, size_t max) {
    if (args.size() < min || args.size() > max)
        throw KeyExprError("Zla liczba argumentow funkcji " + std::string(fn));
}

void need_kind(std::string_view fn, const Args& args, size_t i, Kind k) {
    if (i < args.size() && args[i] && args[i]->kind != k)
        throw KeyExprError("Funkcja " + std::string(fn) + ": argument " + std::to_string(i + 1) + " powinien byc typu " +
                           kind_name(k) + ", jest " + kind_name(args[i]->kind));
}

NodePtr take(Args& a, size_t i) { return i < a.size() ? std::move(a[i]) : nullptr; }

struct Function {
    const char* name;
    NodePtr (*build)(std::string_view name, Args& args);
};

NodePtr build_substr(std::string_view fn, Args& a) {
    need_args(fn, a, 2, 3);
    need_kind(fn, a, 0, Kind::Char);
    need_kind(fn, a, 1, Kind::Num);
    need_kind(fn, a, 2, Kind::Num);
    return std::make_unique<Substr>(take(a, 0), take(a, 1), take(a, 2));
}

template <bool Right>
NodePtr build_left_right(std::string_view fn, Args& a) {
    need_args(fn, a, 2, 2);
    need_kind(fn, a, 0, Kind::Char);
    need_kind(fn, a, 1, Kind::Num);
    return std::make_unique<LeftRight>(take(a, 0), take(a, 1), Right);
}

template <bool Upper>
NodePtr build_case(std::string_view fn, Args& a) {
    need_args(fn, a, 1, 1);
    need_kind(fn, a, 0, Kind::Char);
    return std::make_unique<CaseMap>(take(a, 0), Upper);
}

template <bool Left, bool Right>
NodePtr build_trim(std::string_view fn, Args& a) {
    need_args(fn, a, 1, 1);
    need_kind(fn, a, 0, Kind::Char);
    return std::make_unique<Trim>(take(a, 0), Left, Right);
}

template <Pad::Side S>
NodePtr build_pad(std::string_view fn, Args& a) {
    need_args(fn, a, 2, 3);
    if (a[0]->kind != Kind::Num) need_kind(fn, a, 0, Kind::Char);
    need_kind(fn, a, 1, Kind::Num);
    need_kind(fn, a, 2, Kind::Char);
    return std::make_unique<Pad>(take(a, 0), take(a, 1), take(a, 2), S);
}

template <bool Zeros>
NodePtr build_str(std::string_view fn, Args& a) {
    need_args(fn, a, 1, 3);
    need_kind(fn, a, 0, Kind::Num);
    need_kind(fn, a, 1, Kind::Num);
    need_kind(fn, a, 2, Kind::Num);
    return std::make_unique<Str>(take(a, 0), take(a, 1), take(a, 2), Zeros);
}

NodePtr build_dtos(std::string_view fn, Args& a) {
    need_args(fn, a, 1, 1);
    need_kind(fn, a, 0, Kind::Date);
    return std::make_unique<Dtos>(take(a, 0));
}

NodePtr build_descend(std::string_view fn, Args& a) {
    need_args(fn, a, 1, 1);
    switch (a[0]->kind) {
        case Kind::Char: return std::make_unique<DescendText>(take(a, 0));
        case Kind::Logical: return make_not(take(a, 0));
        default: return std::make_unique<DescendNumber>(take(a, 0));
    }
}

NodePtr build_val(std::string_view fn, Args& a) {
    need_args(fn, a, 1, 1);
    need_kind(fn, a, 0, Kind::Char);
    return std::make_unique<Val>(take(a, 0));
}

NodePtr build_iif(std::string_view fn, Args& a) {
    need_args(fn, a, 3, 3);
    need_kind(fn, a, 0, Kind::Logical);
    if (a[1]->kind != a[2]->kind)
        throw KeyExprError("Funkcja " + std::string(fn) + ": obie wartosci musza byc tego samego typu");
    return std::make_unique<Iif>(take(a, 0), take(a, 1), take(a, 2));
}

const Function kFunctions[] = {
    {"SUBSTR", build_substr},
    {"LEFT", build_left_right<false>},
    {"RIGHT", build_left_right<true>},
    {"UPPER", build_case<true>},
    {"LOWER", build_case<false>},
    {"TRIM", build_trim<false, true>},
    {"RTRIM", build_trim<false, true>},
    {"LTRIM", build_trim<true, false>},
    {"ALLTRIM", build_trim<true, true>},
    {"PADR", build_pad<Pad::Side::Right>},
    {"PADL", build_pad<Pad::Side::Left>},
    {"PADC", build_pad<Pad::Side::Center>},
    {"STR", build_str<false>},
    {"STRZERO", build_str<true>},
    {"DTOS", build_dtos},
    {"DESCEND", build_descend},
    {"VAL", build_val},
    {"IIF", build_iif},
    {"IF", build_iif},
};

}  // namespace

NodePtr make_call(std::string_view name, std::vector<NodePtr> args) {
    std::string upper(name);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    const Function* found = nullptr;
    for (const Function& f : kFunctions) {
        if (upper == f.name) {
            found = &f;
            break;
        }
    }
    // The old programs accept a function name cut to four letters or more.
    if (!found && upper.size() >= 4) {
        for (const Function& f : kFunctions) {
            if (std::strncmp(f.name, upper.c_str(), upper.size()) == 0) {
                if (found) throw KeyExprError("Niejednoznaczna nazwa funkcji: " + std::string(name));
                found = &f;
            }
        }
    }
    if (!found) throw KeyExprError("Nieznana funkcja: " + std::string(name));
    for (const NodePtr& a : args)
        if (!a) throw KeyExprError("Brak argumentu funkcji " + std::string(name));
    return found->build(found->name, args);
}

}  // namespace durva::dbf::keyexpr
