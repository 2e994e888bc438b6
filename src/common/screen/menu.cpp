#include "common/screen/menu.h"

#include <algorithm>

#include "common/screen/codepage.h"
#include "common/screen/keys.h"

namespace durva::screen {

void Menu::prompt(int row, int col, std::string_view text) {
    items_.push_back({row, col, std::string(text)});
    draw(items_.size() - 1, false);
}

void Menu::draw(std::size_t index, bool current) {
    const Item& item = items_[index];
    const auto& c = screen_.colours();
    screen_.say_attr(item.row, item.col, item.text, current ? c.enhanced : c.standard);
}

int Menu::first_starting_with(int key) const {
    const auto wanted = upper(static_cast<std::uint8_t>(key));
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const std::string& t = items_[i].text;
        auto first = t.find_first_not_of(' ');
        if (first != std::string::npos && upper(static_cast<std::uint8_t>(t[first])) == wanted)
            return static_cast<int>(i);
    }
    return -1;
}

int Menu::run(int start) {
    int result = 0;
    if (!items_.empty()) {
        const int last = static_cast<int>(items_.size()) - 1;
        int current = std::clamp(start - 1, 0, last);
        draw(static_cast<std::size_t>(current), true);
        screen_.set_cursor(items_[static_cast<std::size_t>(current)].row, items_[static_cast<std::size_t>(current)].col);
        for (;;) {
            const int key = screen_.inkey(0);
            if (auto own = keys_.find(key); own != keys_.end()) {
                own->second();
                continue;
            }
            int next = current;
            bool chosen = false;
            switch (key) {
                case Key::Down: case Key::Right: next = current == last ? 0 : current + 1; break;
                case Key::Up: case Key::Left: next = current == 0 ? last : current - 1; break;
                case Key::Home: next = 0; break;
                case Key::End: next = last; break;
                case Key::Enter: case Key::PgUp: case Key::PgDn: chosen = true; break;
                case Key::Esc: break;
                default:
                    if (is_typed_character(key)) {
                        if (int hit = first_starting_with(key); hit >= 0) {
                            next = hit;
                            chosen = true;
                        }
                    }
                    break;
            }
            if (next != current) {
                draw(static_cast<std::size_t>(current), false);
                current = next;
                draw(static_cast<std::size_t>(current), true);
            }
            screen_.set_cursor(items_[static_cast<std::size_t>(current)].row,
                               items_[static_cast<std::size_t>(current)].col);
            if (key == Key::Esc) break;
            if (chosen) {
                result = current + 1;
                break;
            }
        }
    }
    screen_.set_cursor(23, 0);
    return result;
}

}  // namespace durva::screen
