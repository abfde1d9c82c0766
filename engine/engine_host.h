#pragma once
// What the engine needs of the window that owns it. Keeps engine/ free of app/'s window classes.
#include <QString>

#include <bitset>
#include <cstdint>
#include <string>

class EngineHost {
public:
    virtual ~EngineHost() = default;
    // UI thread.
    virtual void SetTitle(const QString& title) = 0;
    // Any thread; the window applies it on the UI thread, unless the engine's title generation has
    // moved on from `generation` by then (the worker that posted it has been stopped).
    virtual void PostTitle(const QString& title, std::uint64_t generation) = 0;
    // UI thread, once per node: a known board's node exists but may not be opened by this user.
    virtual void ReportAccessDenied(const std::string& /*path*/) {}
    // On the worker, after each pass has been judged and the board's lines written. `generation`
    // is the title generation the worker started under; `fresh` holds the pages that this pass
    // brought a new, complete measurement (other tested cells show values read before).
    virtual void OnPassJudged(std::uint64_t /*generation*/, const std::bitset<64>& /*fresh*/) {}
    // UI thread: the boards the grid showed are gone or being connected afresh; the worker has
    // been told to stop, and the title generation has moved on.
    virtual void OnBoardsGone() {}
    // On the worker, before its first measurement: the engine's DeviceId() has been read.
    virtual void OnDeviceIdRead() {}
    // On the thread running a connection pass: what the boards are busy with now (a source text
    // of the "activity" context), for the window's status bar.
    virtual void OnBoardActivity(const QString& /*text*/) {}
};
