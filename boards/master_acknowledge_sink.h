#pragma once
// Where the offline master shows the acknowledge of its four text writes. The main window
// implements it with a message box, so that boards/ links no widget code.
#include <string>

class MasterAcknowledgeSink {
public:
    virtual ~MasterAcknowledgeSink() = default;
    // Called on the thread that ran the text write, after the board's lock has been left.
    virtual void ShowAcknowledge(const std::string& text) = 0;
};
