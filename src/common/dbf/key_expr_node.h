#pragma once
// The compiled form of a key expression: a tree of nodes whose value type is
// fixed when the tree is built, so a type mistake is found once, at compile
// time, and evaluation never has to check. Text results are appended to one
// output buffer and functions work on their argument's bytes in place, so
// building a key allocates nothing once the buffer has grown.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/dbf/field.h"

namespace durva::dbf::keyexpr {

enum class Kind : std::uint8_t { Char, Num, Date, Logical };

// A number with the width and decimals STR() shows it with.
struct Number {
    double value = 0;
    int width = 10;
    int decimals = 0;
};

class Node {
public:
    explicit Node(Kind k) : kind(k) {}
    virtual ~Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    const Kind kind;

    // Each node answers the one call of its kind; the others are never made.
    virtual void text(std::string_view record, std::string& out) const;  // appends
    virtual Number number(std::string_view record) const;
    virtual std::int32_t date(std::string_view record) const;  // Julian day, 0 = empty
    virtual bool logical(std::string_view record) const;
};

using NodePtr = std::unique_ptr<Node>;

const char* kind_name(Kind k);

// Leaves.
NodePtr make_field(const FieldDesc& field);
NodePtr make_text(std::string value);
NodePtr make_number(double value, int width, int decimals);
NodePtr make_logical(bool value);

// Operators; each throws KeyExprError when the operand types do not fit.
enum class BinOp { Add, Sub, Mul, Div, Mod, Eq, ExactEq, Ne, Lt, Le, Gt, Ge, Contains, And, Or };
NodePtr make_binary(BinOp op, NodePtr a, NodePtr b);
NodePtr make_negate(NodePtr a);
NodePtr make_not(NodePtr a);

// A function call by name (any case, or abbreviated to four letters or more).
NodePtr make_call(std::string_view name, std::vector<NodePtr> args);

// Parses the whole text against the table's fields; throws KeyExprError
// saying what could not be understood and where.
// `read`, when given, gets the byte range (offset, length) of every field
// the expression names.
NodePtr parse_expression(std::string_view text, const FieldList& fields,
                         std::vector<std::pair<int, int>>* read = nullptr);

// Limits that keep a hostile expression from asking for absurd amounts of memory.
inline constexpr int kMaxTextWidth = 65535;
inline constexpr int kMaxNumberWidth = 255;

}  // namespace durva::dbf::keyexpr
