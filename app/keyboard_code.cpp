#include "keyboard_code.h"

#include <algorithm>
#include <cctype>

void KeyboardCode::DropLineEnds()
{
    std::erase_if(typedText_, [](char c) { return c == '\r' || c == '\n'; });
}

KeyboardCode::Result KeyboardCode::OnKeyPress(Key key, char character)
{
    Result result;

    // Key-down.
    DropLineEnds();
    if (key == Key::Escape) {
        result.consume = true;
        return result;
    }
    if (key == Key::Enter || key == Key::Space) {
        result.clearMarks = true;
        std::string lower = typedText_;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        result.unlocked = lower == CODE_WORD;
        typedText_.clear();
    }

    // The character message that follows; the Space typed here starts the next attempt, while
    // Enter's carriage return is dropped again before the next key.
    if (character == 0)
        return result;
    DropLineEnds();
    if (typedText_.size() < MAX_TYPED) {
        if (key == Key::Backspace) {
            if (!typedText_.empty())
                typedText_.pop_back();
        } else {
            typedText_.push_back(character);
        }
    }
    return result;
}
