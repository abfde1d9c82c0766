#pragma once
// Process start: one instance at a time, then the main window until it closes.
#include <QStringList>

class CVorlaineApp {
public:
    // Returns the process exit code.
    int InitInstance(int argc, char** argv);
};
