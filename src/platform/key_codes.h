#pragma once
// The key codes the terminals deliver: the xBase codes the operators' programs
// have always tested for. Navigation keys share their codes with the Ctrl
// letters (Up is Ctrl-E, PgDn is Ctrl-C), exactly as on the office's DOS
// keyboards; function keys from F2 on are negative; Alt letters are 256 plus
// the PC scan code.

namespace durva::platform {

struct Key {
    static constexpr int Home = 1;
    static constexpr int CtrlRight = 2;
    static constexpr int PgDn = 3;
    static constexpr int Right = 4;
    static constexpr int Up = 5;
    static constexpr int End = 6;
    static constexpr int Del = 7;
    static constexpr int Backspace = 8;
    static constexpr int Tab = 9;
    static constexpr int CtrlEnter = 10;
    static constexpr int Enter = 13;
    static constexpr int PgUp = 18;
    static constexpr int Left = 19;
    static constexpr int Ins = 22;
    static constexpr int CtrlEnd = 23;
    static constexpr int Down = 24;
    static constexpr int CtrlY = 25;
    static constexpr int CtrlLeft = 26;
    static constexpr int Esc = 27;
    static constexpr int F1 = 28;
    static constexpr int CtrlHome = 29;
    static constexpr int CtrlPgDn = 30;
    static constexpr int CtrlPgUp = 31;
    static constexpr int Space = 32;
    static constexpr int CtrlBackspace = 127;
    static constexpr int ShiftTab = 271;
    static constexpr int F2 = -1, F3 = -2, F4 = -3, F5 = -4, F6 = -5;
    static constexpr int F7 = -6, F8 = -7, F9 = -8, F10 = -9;
    static constexpr int F11 = -40, F12 = -41;
    static constexpr int AltK = 293;
    static constexpr int AltP = 281;
};

// Ctrl-A is 1 ... Ctrl-Z is 26.
constexpr int ctrl_key(char letter) {
    return (letter >= 'a' && letter <= 'z')   ? letter - 'a' + 1
           : (letter >= 'A' && letter <= 'Z') ? letter - 'A' + 1
                                              : 0;
}

// F1 to F10 (0 for other numbers).
constexpr int function_key(int n) {
    return n == 1 ? Key::F1 : (n >= 2 && n <= 10) ? 1 - n : n == 11 ? Key::F11 : n == 12 ? Key::F12 : 0;
}

// Shift, Ctrl and Alt with F1 to F10: -10..-19, -20..-29, -30..-39.
constexpr int shift_function_key(int n) { return (n >= 1 && n <= 10) ? -9 - n : 0; }
constexpr int ctrl_function_key(int n) { return (n >= 1 && n <= 10) ? -19 - n : 0; }
constexpr int alt_function_key(int n) { return (n >= 1 && n <= 10) ? -29 - n : 0; }

// Alt with a letter (either case) or a digit; 0 for any other character.
constexpr int alt_key(char32_t ch) {
    // PC scan codes of the letters A to Z.
    constexpr int scan[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                              49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
    if (ch >= U'a' && ch <= U'z') return 256 + scan[ch - U'a'];
    if (ch >= U'A' && ch <= U'Z') return 256 + scan[ch - U'A'];
    if (ch >= U'1' && ch <= U'9') return 376 + static_cast<int>(ch - U'1');
    if (ch == U'0') return 385;
    return 0;
}

}  // namespace durva::platform
