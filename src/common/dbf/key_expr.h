#pragma once
// Key expressions as index files hold them ("MAG+INDEKS", "DESCEND(KOD13+MAG)",
// "UPPER(NAZWA)+MAG", "DTOS(DATA)+RD+NRD" ...): parsed once against a table's
// fields, then evaluated on raw record bytes. Also used for relations.
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/date.h"
#include "common/dbf/field.h"

namespace durva::dbf {

class KeyExprError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value an expression produces.
struct XValue {
    enum class Type { Char, Num, Date, Logical } type = Type::Char;
    std::string s;       // Char
    double n = 0;        // Num
    int width = 10;      // Num: display width as STR() would give it
    int decimals = 0;    // Num
    Date d;              // Date
    bool b = false;      // Logical
};

// A number in the form an index stores it: STR(value, key_size, decimals)
// with leading blanks as '0' and, for a negative value, the sign as '0' and
// every digit d as the character 44 - d, so negative keys sort first and
// larger magnitudes lower.
std::string number_key(double value, int key_size, int key_decimals);

class KeyExpr {
public:
    // Throws KeyExprError naming what could not be understood (unknown field
    // or function, wrong argument types, bad syntax).
    static KeyExpr compile(std::string_view text, const FieldList& fields);

    XValue eval(std::string_view record) const;
    // The key bytes of an index with this key size and decimals (formats.md 2.5):
    // text padded or cut, numbers in the index's digit form, dates as DTOS.
    std::string eval_key(std::string_view record, int key_size, int key_decimals) const;
    // The same into a buffer the caller keeps, so building many keys allocates nothing.
    void eval_key_to(std::string_view record, int key_size, int key_decimals, std::string& out) const;
    // The type of the value eval() gives (fixed when the text was compiled).
    XValue::Type type() const;
    const std::string& text() const;
    // Whether the value depends on any of `length` bytes of the record from
    // `offset` on: a change elsewhere in a record leaves its key as it was.
    bool reads(int offset, int length) const;

    KeyExpr(const KeyExpr&);
    KeyExpr& operator=(const KeyExpr&);
    KeyExpr(KeyExpr&&) noexcept;
    KeyExpr& operator=(KeyExpr&&) noexcept;
    ~KeyExpr();

private:
    struct Impl;
    explicit KeyExpr(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace durva::dbf
