#pragma once
// The cleaning of goods names before they go to a register: the register's
// character set holds no national letters and no lower case, so Polish
// letters become their plain upper-case letter and whatever the register
// cannot show is dropped.
#include <string>
#include <string_view>

namespace durva {

// The cleaned name, never longer than `text`: each byte translated by the
// national-letter table, then kept only when it is a digit, an upper-case
// letter A to Z, a blank or one of . , - + * ( ) ; : / < > $ % !
// Blanks are kept, so a field's leading and trailing blanks survive.
std::string clean_goods_name(std::string_view text);

// The name as the register gets it: `text` unchanged when the registers take
// names as they are (the marker file DAJ.PL in the working folder, looked
// for once a send: PluSettings::keep_national_letters), else cleaned.
std::string USUN_PL_TRELOWA(std::string_view text, bool names_as_they_are);

// A name field of `length` bytes made what the main send's copy of the goods
// holds: USUN_PL_TRELOWA's name with its leading blanks removed, padded with
// blanks to the field. In place, as the copy is made of every good.
void clean_name_field(char* field, size_t length, bool names_as_they_are);

}  // namespace durva
