#include "app/defaults.h"

#include <string>

namespace durva {

void create_settings(Memvars& vars) {
    for (std::string_view name :
         {"J_ZW_D",     "J_DRUKARKA", "J_PODATEK",  "J_ZAKUPU",   "J_UPUST",    "J_KOREKTA_", "J_SREDNIA_",
          "J_FA_SORT",  "J_AUTOMAT",  "J_KANTY",    "J_AUTO_ZAP", "J_FILTR",    "J_REJ_NETT", "J_CENA_BRU",
          "J_ATEST_DR", "J_OPA_DRUK", "J_PZ",       "J_1_KOMPUT", "J_ZM_INDEK", "J_DRU_RABA", "J_RABAT_ZB",
          "J_EJECT",    "J_MOD_OPA",  "J_DRUK_IND", "J_NEC1",     "J_NEC2",     "J_ZLE_UZGO", "J_DOP_UJEM",
          "J_BEZ_VIEW"})
        vars.set_text(name, "N");
    for (std::string_view name :
         {"J_INF_UJEM", "J_ORYGINAL", "J_WALUTA",   "J_UZGADNIA", "J_ATEST",    "J_BOGATY_R", "J_CENA_SR",
          "J_DOW1_MAG", "J_OPA_OPA",  "J_TOCZ_KAS", "J_SPECYFIK", "J_SD_RAZEM", "J_NOWE_STA", "J_KOD13ZN",
          "J_KOLOR",    "J_SD_Z1MAG"})
        vars.set_text(name, "T");
    vars.set_text("J_NAPED", "A");
    vars.set_text("J_GDZIE", "A");

    vars.set_text("J_VAT", "23");
    vars.set_text("J_XKW", "KW ");
    vars.set_text("J_XKP", "KP ");
    vars.set_text("J_RD", "FV ");
    vars.set_text("J_SD", "SD ");
    vars.set_text("J_MAG_GLOW", "1");
    vars.set_text("J_OPA", "OPA");
    vars.set_text("J_MAG_K", "K");
    vars.set_text("J_MAG_U", "U ");
    vars.set_text("J_MAG_UU", "U ");
    vars.set_text("J_FV_SYMBO", "   ");
    vars.set_text("J_NAZWA", " OBS\x9C" "UGA HURTOWNI ");  // 9C is the capital L with stroke
    vars.set_text("J_DAT_OPE", "01/01/94");              // a text, not a date
    vars.set_text("J_TIM_OPE", "07:34:00");

    vars.set_text("J_RAPORTY", std::string(60, ' '));
    vars.set_text("J_ARCHIWUM", std::string(60, ' '));
    vars.set_text("J_WITEK1", std::string(35, ' '));
    vars.set_text("J_WITEK2", std::string(35, ' '));
    vars.set_text("J_FF2", std::string(29, ' '));
    vars.set_text("J_KP_R", std::string(25, ' '));
    vars.set_text("J_POMINAC", std::string(20, ' '));
    vars.set_text("J_FOLDER", std::string(12, ' '));

    vars.set_number("J_PP", 1);
    vars.set_number("J_POZIOM", 1);
    vars.set_number("J_PAPIER", 10);
    vars.set_number("J_NEC_M1", 0);
    vars.set_number("J_NEC_M2", 0);

    vars.set_logical("J_ZAOKRAGL", false);
}

void create_working_variables(Session& s) {
    const platform::LocalTime today = s.clock.local_time();
    s.values = ProgramValues{};
    s.values.M_DATA = Date::from_ymd(today.year, today.month, today.day);
    for (std::string_view name : kUnassignedWorkingVariables) s.vars.set_logical(name, false);
}

}  // namespace durva
