#pragma once
// First and last day of an accounting period given by its period folder
// "YY\MM" (year in characters 1 and 2, month in characters 4 and 5). Years
// 90 to 99 are 1990 to 1999, 00 to 89 are 2000 to 2089. Both results are
// "dd.mm.yyyy" texts, ready to be turned into dates.
#include <string>
#include <string_view>

namespace durva {

std::string P_MIES(std::string_view period);
std::string K_MIES_FK(std::string_view period);

}  // namespace durva
