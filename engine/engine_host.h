#pragma once
// What the engine needs of the window that owns it. Keeps engine/ free of app/'s window classes.
#include <QString>

class EngineHost {
public:
    virtual ~EngineHost() = default;
    // UI thread.
    virtual void SetTitle(const QString& title) = 0;
    // Any thread; the window applies it on the UI thread.
    virtual void PostTitle(const QString& title) = 0;
};
