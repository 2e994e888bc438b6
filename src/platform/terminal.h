#pragma once
// The edge between the program's virtual screen and whatever shows it: a real
// terminal (ncursesw) or the headless terminal of the tests. The screen layer
// hands over whole frames of cells already mapped to Unicode and receives keys
// already decoded to xBase key codes.
#include <cstdint>
#include <optional>

namespace durva::platform {

// One cell as shown: a Unicode character and a PC text attribute (bits 0-3
// foreground with bit 3 bright, bits 4-6 background, bit 7 blink). Underline
// is asked for separately because monochrome screens show it.
struct TermCell {
    char32_t ch = U' ';
    std::uint8_t attr = 0x07;
    bool underline = false;
};

// A key as the terminal delivered it: `code` is the xBase key code (Enter 13,
// Esc 27, F4 -3, Alt-K 293, Up 5 ...). For a typed character `code` is 0 and
// `ch` holds the Unicode character, which the screen turns into the code page.
// Both 0: a key was pressed that means nothing to the program (a sequence of
// no known key); like any key it ends a wait.
struct InputKey {
    int code = 0;
    char32_t ch = 0;
};

class Terminal {
public:
    virtual ~Terminal() = default;
    virtual int rows() const = 0;
    virtual int cols() const = 0;
    // A terminal without colours is a monochrome screen.
    virtual bool has_colors() const = 0;
    // Shows a frame of rows() x cols() cells and places the cursor.
    virtual void present(const TermCell* cells, int rows, int cols, int cursor_row, int cursor_col,
                         bool cursor_visible) = 0;
    // Waits up to timeout_ms for a key (negative: for ever); nullopt when none came.
    // Every key pressed comes back, those that mean nothing included.
    virtual std::optional<InputKey> read_key(int timeout_ms) = 0;
    // A tone of the given frequency and length (the bell where there is no speaker).
    virtual void tone(int frequency_hz, int duration_ms) = 0;
};

}  // namespace durva::platform
