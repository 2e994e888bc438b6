#pragma once
// What the register simulator reads: the input file the program writes (a
// control line, then one record a line), the PLU records in their short and
// long forms, the PLU list lines sent back as deletions, the department
// records, and the sales asked for on its own command line. Every reader here
// takes raw bytes (names stay in the office code page, byte for byte) and
// either returns the record or says what is wrong with it; none of them
// throws or reads outside what it is given.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace durvadrv {

// Error codes of the error file. The program only asks whether the code is
// above 0; the numbers tell a person reading the file what went wrong.
enum class Fault {
    None = 0,
    UnknownControl = 1,   // the first line is no control line the register knows
    NoInputFile = 2,      // the input file cannot be read
    BadArgument = 3,      // the command line
    BadFormat = 4,        // field count, record kind or a fixed field
    BadCode = 5,          // PLU code not digits, or too long
    BadName = 6,          // name empty, too long, or with control bytes
    BadPrice = 7,         // price not digits, or too long
    BadVat = 8,           // VAT letter not A to F or Z
    BadDepartment = 9,    // department not 01 to 07 (or outside the control line's range)
    UnknownPlu = 10,      // a deletion of a PLU the register does not hold
    RecordCount = 11,     // department records missing or too many
    PortBusy = 12,        // another run holds the register
    StateFile = 13,       // the register's memory (its state file) cannot be read or written
};

struct Problem {
    Fault fault = Fault::None;
    std::string text;  // short, ASCII, shown to the operator after the code and line
};

// The input file split into lines: CR LF (or a bare LF) ends a line, the
// final line break is no empty record, and an end-of-file byte (26) at the
// end is ignored.
std::vector<std::string_view> split_input_lines(std::string_view file);

// Splits a record into its ";"-ended fields. False when the record does not
// end with ";" (the last field is not closed).
bool split_fields(std::string_view record, std::vector<std::string_view>& fields);

enum class Operation { ReadSales, WritePlus, ReadPluList, Departments };

struct ControlLine {
    Operation op = Operation::ReadSales;
    int first_department = 1, last_department = 7;  // only for Departments
};

std::optional<ControlLine> parse_control_line(std::string_view line);

constexpr size_t kMaxCodeLength = 13;
constexpr size_t kShortNameLength = 18;
constexpr size_t kLongNameLength = 40;
constexpr size_t kMaxPriceDigits = 10;
constexpr size_t kDepartmentNameLength = 18;

struct Plu {
    std::string code;   // digits, as sent (leading zeros are part of the code)
    std::string name;   // bytes as sent, trailing blanks included
    std::int64_t price = 0;  // hundredths
    char vat = 'A';
    int department = 1;
    std::string flags = "11100";
    bool long_form = false;
};

struct Department {
    int number = 1;
    std::string name;
    char vat = 'A';
    std::string limit = "1000";  // the field after the letter, kept as sent
};

// One record after "S;I;1; ; ;": a PLU to write, or a PLU list line that asks
// for the PLU's deletion.
struct PluRecord {
    bool deletion = false;
    Plu plu;  // for a deletion only plu.code is set
};

// Reads one record of a PLU send: short form ("I;1;" ...), long form
// ("I#00;1;" ...) or a PLU list line sent back ("P;1;" code ";" ...).
Problem parse_plu_record(std::string_view record, PluRecord& out);

// Reads one department record ("H;1;01;Dzial 1;0;A;1000;00;").
Problem parse_department(std::string_view record, Department& out);

// The PLU list line the register gives for a PLU it holds: four characters,
// the code, ";", then the name, price, VAT letter and department, each ended
// by ";". Sent back after "S;I;1; ; ;" it deletes the PLU.
std::string plu_list_line(const Plu& plu);

// A sale rung up: the code and the quantity in thousandths.
struct SaleRequest {
    std::string code;
    std::int64_t quantity = 0;
};

// Reads "CODE*QTY[,CODE*QTY...]" (a code alone sells one); quantities have
// up to three decimals after a point, are above 0 and at most 99999.999.
// On a fault `error` names the bad item.
bool parse_sale_list(std::string_view text, std::vector<SaleRequest>& out, std::string& error);

// The value of a sale in hundredths: price in hundredths times quantity in
// thousandths, rounded to the nearest hundredth (halves up).
std::int64_t sale_value(std::int64_t price, std::int64_t quantity);

// A quantity in thousandths written with three decimals: 500 gives "0.500".
std::string format_thousandths(std::int64_t quantity);

}  // namespace durvadrv
