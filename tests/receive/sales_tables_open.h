#pragma once
// Opens the company tables of the current folder in the work areas the
// program uses (1 firma, 2 as, 4 dd with its index and relation, 5 dow,
// 6 dowod, 9 slow), as start-up does, for tests and their helper programs.
#include <filesystem>
#include <string>

#include "common/_fun3.h"
#include "common/locks.h"
#include "common/session.h"

namespace durva::test {

inline const char* kWorkTableFields =
    "R_P       ,C,  1,  0,S_Z       ,C,  1,  0,RD        ,C,  3,  0,NRD       ,C,  8,  0,"
    "DATA      ,D,  8,  0,MAG       ,C,  1,  0,LP        ,C,  3,  0,KTO       ,C,  1,  0,"
    "ODB       ,C,  8,  0,INDEKS    ,C,  8,  0,NAZWA     ,C, 30,  0,JM        ,C,  3,  0,"
    "UPUST0    ,N,  4,  1,CENA0     ,N, 14,  4,CENA      ,N, 14,  4,NB        ,C,  1,  0,"
    "ILOSC     ,N, 15,  3,WARTOSC   ,N, 14,  2,PODATEK0  ,C,  2,  0,PODATEK   ,N, 14,  4,"
    "BRUTTO    ,N, 16,  2,SWW       ,C,  8,  0,PKWIU     ,C, 10,  0,CENA_N    ,N, 14,  2";

// Opens the company tables of the current folder for station `station`.
inline void open_sales_tables(Session& s, bool kod13, int station) {
    s.areas.settings.exclusive = false;
    s.areas.settings.soft_seek = true;
    s.areas.settings.deleted_hidden = true;
    s.values.STACJA = station;
    s.values.HH = "16\\03";
    s.values.PLIK = "rob\\wydruk" + STR2(station) + ".prn";
    s.values.JEST_KOD13 = kod13;
    s.values.M_DATA = Date::from_ymd(2016, 3, 15);
    std::filesystem::create_directories("rob");
    s.areas.select(1);
    NET_USE(s, "firma", "firma", false, 15);
    s.areas.select(2);
    NET_USE(s, "16\\03\\as", "as", false, 20);
    s.areas.table().add_index("16\\03\\as");
    s.areas.table().add_index("16\\03\\as2");
    if (kod13) s.areas.table().add_index("16\\03\\as3");
    s.areas.table().set_order(1);
    s.areas.select(4);
    const std::string dd = "rob\\d" + STR2(station);
    TWORZ(s, dd + "," + kWorkTableFields, true, station);
    NET_USE(s, dd, "dd", true, 20);
    s.areas.table().create_index(dd, "mag+indeks");
    s.areas.table().set_order(0);
    s.areas.select(5);
    NET_USE(s, "16\\03\\dow", "dow", false, 20);
    for (const char* ix : {"16\\03\\dow1", "16\\03\\dow2", "16\\03\\dow3"}) s.areas.table().add_index(ix);
    s.areas.table().set_order(1);
    s.areas.select(6);
    NET_USE(s, "16\\03\\dowod", "dowod", false, 20);
    for (const char* ix : {"16\\03\\dowod1", "16\\03\\dowod2"}) s.areas.table().add_index(ix);
    s.areas.table().set_order(1);
    s.areas.select(9);
    NET_USE(s, "16\\03\\slow", "slow", false, 20);
    s.areas.table().add_index("16\\03\\slow");
    s.areas.select(4);
    s.areas.table().set_relation(s.areas.table("as"), "mag+indeks");
    s.areas.table().go_top();
}

}  // namespace durva::test
