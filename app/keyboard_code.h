#pragma once
// The main window's keyboard filter: Enter and Space clear the green marks, a code word typed
// since the last Enter or Space unlocks the FPC test item, Escape is swallowed.
#include <string>

class KeyboardCode {
public:
    static constexpr std::size_t MAX_TYPED = 255;
    static constexpr char CODE_WORD[] = "kestle";

    enum class Key { Enter, Space, Escape, Backspace, Other };

    struct Result {
        bool consume = false;    // the key never reaches the window
        bool clearMarks = false; // Enter or Space
        bool unlocked = false;   // the code word was complete
    };

    // One key press as the platform delivers it: the key-down, then (unless consumed) the
    // character it types, if any (0 for none).
    Result OnKeyPress(Key key, char character);

    const std::string& typedText() const { return typedText_; }

private:
    void DropLineEnds();

    std::string typedText_;
};
