#pragma once
// Common base of every board protocol class: finds a board by ids and strings, opens it and
// exchanges 65-byte reports with it. Holds no lock: each board class serialises its own commands.
#include "hid_backend.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class hiddata {
public:
    explicit hiddata(HidBackend& backend);
    virtual ~hiddata();
    hiddata(const hiddata&) = delete;
    hiddata& operator=(const hiddata&) = delete;

    // Product id first. 0 = opened, 1 = nothing found (deviceHandle is then null).
    int OpenDevice(std::uint16_t productId, std::uint16_t vendorId, const char* manufacturer,
                   const char* product);
    // 0 = found, 2 = ids matched but a string could not be read, 3 = not found.
    int FindDevice(std::unique_ptr<HidDevice>& handle, std::uint16_t vendorId, const char* manufacturer,
                   std::uint16_t productId, const char* product);

    // True when sending failed.
    bool WriteReport(const std::uint8_t* data);
    // A read that gets no reply never yields another command's reply: report then holds the
    // previous reply to the same request (the reports written since the last read), or zeros when
    // there was none, and the failure is counted for the calling thread (see ReplyWatch).
    std::uint8_t* ReadReport();
    // 0 = sent, 2 = refused.
    int SetFeatureReport(const std::uint8_t* data);
    std::uint8_t* GetFeatureReport();
    // Whether the last ReadReport or GetFeatureReport got nothing. Meaningful under the board's lock.
    bool LastReadFailed() const { return lastReadFailed_; }

    // Reads on the calling thread, of any board, that got no reply.
    static std::uint64_t ThreadReadFailures();
    // While `flag` is set, every command of the calling thread fails at once without touching the
    // board (reads count as unanswered): an initialisation the window no longer wants ends within
    // the command in progress. nullptr detaches the thread.
    static void SetThreadCancel(const std::atomic<bool>* flag);
    static bool ThreadCancelled();
    // Sleeps, but returns early once the calling thread's cancel flag is set.
    static void PauseUnlessCancelled(std::chrono::milliseconds time);
    // Nodes of known boards that exist but could not be opened for lack of rights, since the last call.
    static std::vector<std::string> TakeAccessDenied();

    static std::string UsbErrorText(int code);
    // Each UTF-16 code unit below 256 becomes that byte, any other unit "?"; stops at a zero.
    static std::string NarrowString(const std::wstring& text);

    std::uint8_t* lastReport;
    std::uint8_t report[HID_REPORT_SIZE] = {};
    std::unique_ptr<HidDevice> deviceHandle;

protected:
    HidBackend& backend;

private:
    using Clock = std::chrono::steady_clock;
    // Input left over from an earlier command (a reply later than its read's bound) would otherwise
    // be taken as the answer to the next one.
    void DiscardQueuedInput();
    // A reply that did come in: whether it is owed to a read that timed out within the last second.
    bool TakeOwedReply();
    void NoteUnanswered(bool timedOut, bool tookOwedReply, const char* what);
    void NoteAnswered();
    void ResetExchangeState();

    bool lastReadFailed_ = false;
    // Hash of the reports written since the last read: the request the next read answers.
    std::uint64_t requestKey_;
    std::unordered_map<std::uint64_t, std::array<std::uint8_t, HID_REPORT_SIZE>> repliesByRequest_;
    // Replies still owed to reads that timed out; they are discarded if they come within a second.
    int owedReplies_ = 0;
    Clock::time_point owedUntil_{};
    bool graceSpent_ = false;  // the wait before the next request has been made for the owed replies
    bool boardSilent_ = false; // nothing came during that wait: the board has stopped answering
};

// Tells whether every read made on this thread since its construction got a reply.
class ReplyWatch {
public:
    ReplyWatch() : start_(hiddata::ThreadReadFailures()) {}
    bool AllAnswered() const { return hiddata::ThreadReadFailures() == start_; }

private:
    std::uint64_t start_;
};
