// Reads the text of a key expression into a node tree: field names in any
// case with an optional alias ("AS->MAG"), text, number and logical literals,
// function calls, + - * / %, comparisons, .AND. .OR. .NOT. and parentheses,
// with the usual xBase precedence.
#include <cctype>
#include <cstdlib>
#include <string>

#include "common/dbf/key_expr.h"
#include "common/dbf/key_expr_node.h"

namespace durva::dbf::keyexpr {

namespace {

enum class Tok { End, Ident, Number, String, Op, LParen, RParen, Comma, Arrow, True, False, And, Or, Not };

struct Token {
    Tok type = Tok::End;
    std::string text;  // identifier, string contents, number text, operator
    size_t pos = 0;    // 1-based column in the expression
};

std::string upper_ascii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return r;
}

bool ident_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool ident_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

class Parser {
public:
    Parser(std::string_view text, const FieldList& fields, std::vector<std::pair<int, int>>* read)
        : s_(text), fields_(fields), read_(read) {
        advance();
    }

    NodePtr parse_all() {
        if (tok_.type == Tok::End) throw KeyExprError("Puste wyrazenie");
        NodePtr n = parse_or();
        if (tok_.type != Tok::End) fail("nieoczekiwany znak");
        return n;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw KeyExprError("Bledne wyrazenie: " + what + " przy znaku " + std::to_string(tok_.pos));
    }

    // --- tokens ---------------------------------------------------------
    void advance() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
        tok_ = Token{};
        tok_.pos = i_ + 1;
        if (i_ >= s_.size()) return;
        char c = s_[i_];
        if (ident_start(c)) {
            size_t b = i_;
            while (i_ < s_.size() && ident_char(s_[i_])) ++i_;
            tok_.type = Tok::Ident;
            tok_.text = std::string(s_.substr(b, i_ - b));
            return;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '.' && i_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_ + 1])))) {
            size_t b = i_;
            while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
            if (i_ < s_.size() && s_[i_] == '.' && i_ + 1 < s_.size() &&
                std::isdigit(static_cast<unsigned char>(s_[i_ + 1]))) {
                ++i_;
                while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
            }
            tok_.type = Tok::Number;
            tok_.text = std::string(s_.substr(b, i_ - b));
            return;
        }
        if (c == '"' || c == '\'' || c == '[') {
            char close = c == '[' ? ']' : c;
            size_t e = s_.find(close, i_ + 1);
            if (e == std::string_view::npos) fail("niezamkniety tekst");
            tok_.type = Tok::String;
            tok_.text = std::string(s_.substr(i_ + 1, e - i_ - 1));
            i_ = e + 1;
            return;
        }
        if (c == '.') {
            size_t e = i_ + 1;
            while (e < s_.size() && std::isalpha(static_cast<unsigned char>(s_[e]))) ++e;
            if (e < s_.size() && s_[e] == '.' && e > i_ + 1) {
                std::string word = upper_ascii(s_.substr(i_ + 1, e - i_ - 1));
                Tok t = word == "T" || word == "Y" ? Tok::True
                        : word == "F" || word == "N" ? Tok::False
                        : word == "AND"              ? Tok::And
                        : word == "OR"               ? Tok::Or
                        : word == "NOT"              ? Tok::Not
                                                     : Tok::End;
                if (t != Tok::End) {
                    tok_.type = t;
                    i_ = e + 1;
                    return;
                }
            }
            fail("nieznany znak '.'");
        }
        auto two = s_.substr(i_, 2);
        for (const char* op : {"->", "==", "!=", "<>", "<=", ">="}) {
            if (two == op) {
                tok_.type = two == "->" ? Tok::Arrow : Tok::Op;
                tok_.text = op;
                i_ += 2;
                return;
            }
        }
        ++i_;
        switch (c) {
            case '(': tok_.type = Tok::LParen; return;
            case ')': tok_.type = Tok::RParen; return;
            case ',': tok_.type = Tok::Comma; return;
            case '!': tok_.type = Tok::Not; return;
            case '+': case '-': case '*': case '/': case '%': case '=': case '#': case '<': case '>': case '$':
                tok_.type = Tok::Op;
                tok_.text = std::string(1, c);
                return;
            default: break;
        }
        --i_;
        fail(std::string("nieznany znak '") + c + "'");
    }

    bool at_op(const char* op) const { return tok_.type == Tok::Op && tok_.text == op; }

    // --- grammar ----------------------------------------------------------
    struct Depth {
        explicit Depth(Parser& p) : p_(p) {
            if (++p_.depth_ > 100) p_.fail("wyrazenie zbyt zlozone");
        }
        ~Depth() { --p_.depth_; }
        Parser& p_;
    };

    NodePtr parse_or() {
        Depth d(*this);
        NodePtr a = parse_and();
        while (tok_.type == Tok::Or) {
            advance();
            a = make_binary(BinOp::Or, std::move(a), parse_and());
        }
        return a;
    }

    NodePtr parse_and() {
        NodePtr a = parse_not();
        while (tok_.type == Tok::And) {
            advance();
            a = make_binary(BinOp::And, std::move(a), parse_not());
        }
        return a;
    }

    NodePtr parse_not() {
        Depth d(*this);
        if (tok_.type == Tok::Not) {
            advance();
            return make_not(parse_not());
        }
        return parse_comparison();
    }

    NodePtr parse_comparison() {
        NodePtr a = parse_sum();
        static const std::pair<const char*, BinOp> ops[] = {
            {"==", BinOp::ExactEq}, {"=", BinOp::Eq}, {"!=", BinOp::Ne}, {"<>", BinOp::Ne}, {"#", BinOp::Ne},
            {"<=", BinOp::Le},      {"<", BinOp::Lt}, {">=", BinOp::Ge}, {">", BinOp::Gt},  {"$", BinOp::Contains}};
        for (const auto& [text, op] : ops) {
            if (at_op(text)) {
                advance();
                return make_binary(op, std::move(a), parse_sum());
            }
        }
        return a;
    }

    NodePtr parse_sum() {
        NodePtr a = parse_product();
        while (at_op("+") || at_op("-")) {
            BinOp op = tok_.text == "+" ? BinOp::Add : BinOp::Sub;
            advance();
            a = make_binary(op, std::move(a), parse_product());
        }
        return a;
    }

    NodePtr parse_product() {
        NodePtr a = parse_unary();
        while (at_op("*") || at_op("/") || at_op("%")) {
            BinOp op = tok_.text == "*" ? BinOp::Mul : tok_.text == "/" ? BinOp::Div : BinOp::Mod;
            advance();
            a = make_binary(op, std::move(a), parse_unary());
        }
        return a;
    }

    NodePtr parse_unary() {
        Depth d(*this);
        if (at_op("-")) {
            advance();
            return make_negate(parse_unary());
        }
        if (at_op("+")) {
            advance();
            NodePtr a = parse_unary();
            if (a->kind != Kind::Num) throw KeyExprError("Plus przed wartoscia, ktora nie jest liczba");
            return a;
        }
        return parse_primary();
    }

    NodePtr parse_primary() {
        Token t = tok_;
        switch (t.type) {
            case Tok::Number: {
                advance();
                size_t dot = t.text.find('.');
                int decimals = dot == std::string::npos ? 0 : static_cast<int>(t.text.size() - dot - 1);
                double v = std::strtod(t.text.c_str(), nullptr);
                return make_number(v, decimals > 0 ? 10 + decimals + 1 : 10, decimals);
            }
            case Tok::String: advance(); return make_text(t.text);
            case Tok::True: advance(); return make_logical(true);
            case Tok::False: advance(); return make_logical(false);
            case Tok::LParen: {
                advance();
                NodePtr a = parse_or();
                if (tok_.type != Tok::RParen) fail("brak nawiasu zamykajacego");
                advance();
                return a;
            }
            case Tok::Ident: {
                advance();
                if (tok_.type == Tok::LParen) return parse_call(t.text);
                if (tok_.type == Tok::Arrow) {
                    // An alias before the field; the expression always reads its own table.
                    advance();
                    if (tok_.type != Tok::Ident) fail("brak nazwy pola po ->");
                    t = tok_;
                    advance();
                }
                return field(t.text);
            }
            default: fail(tok_.type == Tok::End ? "niepelne wyrazenie" : "nieoczekiwany znak");
        }
    }

    NodePtr parse_call(const std::string& name) {
        advance();  // (
        std::vector<NodePtr> args;
        if (tok_.type != Tok::RParen) {
            for (;;) {
                if (tok_.type == Tok::Comma || tok_.type == Tok::RParen) args.push_back(nullptr);  // skipped argument
                else args.push_back(parse_or());
                if (tok_.type == Tok::Comma) {
                    advance();
                    continue;
                }
                break;
            }
        }
        if (tok_.type != Tok::RParen) fail("brak nawiasu zamykajacego w wywolaniu " + name);
        advance();
        return make_call(name, std::move(args));
    }

    NodePtr field(const std::string& name) {
        // Names are significant to ten characters, as in the table itself.
        std::string want = upper_ascii(name.substr(0, 10));
        for (const FieldDesc& f : fields_) {
            if (upper_ascii(f.name) != want) continue;
            if (read_) read_->emplace_back(f.offset, f.length);
            return make_field(f);
        }
        throw KeyExprError("Nieznane pole: " + name);
    }

    std::string_view s_;
    const FieldList& fields_;
    std::vector<std::pair<int, int>>* read_;
    size_t i_ = 0;
    Token tok_;
    int depth_ = 0;
};

}  // namespace

NodePtr parse_expression(std::string_view text, const FieldList& fields, std::vector<std::pair<int, int>>* read) {
    Parser p(text, fields, read);
    return p.parse_all();
}

}  // namespace durva::dbf::keyexpr
