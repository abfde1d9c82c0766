#include "hiddata.h"

#include "hid_log.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace {
constexpr int USB_ERROR_COMMUNICATION = 2;
constexpr int USB_ERROR_NOT_FOUND = 3;
// hidraw queues at most 64 input reports per open file; anything beyond that is a babbling device.
constexpr int MAX_DISCARDED_REPORTS = 128;
// A reply later than this after its read gave up may be taken for a later command's.
constexpr auto LATE_REPLY_WINDOW = std::chrono::seconds(1);
// Requests differ by their arguments (stations, channels, table data); keep the remembered replies bounded.
constexpr std::size_t MAX_REMEMBERED_REPLIES = 512;

constexpr std::uint64_t FNV_OFFSET = 1469598103934665603ULL;
constexpr std::uint64_t FNV_PRIME = 1099511628211ULL;

std::uint64_t HashReport(std::uint64_t hash, const std::uint8_t* bytes)
{
    for (std::size_t i = 0; i < HID_REPORT_SIZE; ++i)
        hash = (hash ^ bytes[i]) * FNV_PRIME;
    return hash;
}

thread_local std::uint64_t threadReadFailures = 0;
thread_local const std::atomic<bool>* threadCancel = nullptr;

std::mutex deniedMutex;
std::vector<std::string> deniedPaths;
} // namespace

hiddata::hiddata(HidBackend& backend_) : lastReport(report), backend(backend_), requestKey_(FNV_OFFSET) {}

hiddata::~hiddata() = default;

std::uint64_t hiddata::ThreadReadFailures()
{
    return threadReadFailures;
}

void hiddata::SetThreadCancel(const std::atomic<bool>* flag)
{
    threadCancel = flag;
}

bool hiddata::ThreadCancelled()
{
    return threadCancel && threadCancel->load();
}

void hiddata::PauseUnlessCancelled(std::chrono::milliseconds time)
{
    constexpr auto STEP = std::chrono::milliseconds(10);
    const auto end = Clock::now() + time;
    for (auto now = Clock::now(); now < end && !ThreadCancelled(); now = Clock::now())
        std::this_thread::sleep_for(std::min<Clock::duration>(STEP, end - now));
}

std::vector<std::string> hiddata::TakeAccessDenied()
{
    std::lock_guard lock(deniedMutex);
    return std::exchange(deniedPaths, {});
}

void hiddata::ResetExchangeState()
{
    requestKey_ = FNV_OFFSET;
    repliesByRequest_.clear();
    owedReplies_ = 0;
    graceSpent_ = false;
    boardSilent_ = false;
}

int hiddata::OpenDevice(std::uint16_t productId, std::uint16_t vendorId, const char* manufacturer,
                        const char* product)
{
    std::unique_ptr<HidDevice> handle;
    const int result = FindDevice(handle, vendorId, manufacturer, productId, product);
    deviceHandle = std::move(handle);
    ResetExchangeState(); // replies of an earlier connection say nothing about this one
    return result == 0 && deviceHandle ? 0 : 1;
}

int hiddata::FindDevice(std::unique_ptr<HidDevice>& handle, std::uint16_t vendorId, const char* manufacturer,
                        std::uint16_t productId, const char* product)
{
    int result = 3;
    handle.reset();
    for (const HidDeviceInfo& info : backend.enumerate()) {
        if (info.vendorId != vendorId || info.productId != productId)
            continue;
        std::unique_ptr<HidDevice> device = backend.open(info.path);
        if (!device) {
            if (backend.accessDenied(info.path)) {
                std::lock_guard lock(deniedMutex);
                if (std::find(deniedPaths.begin(), deniedPaths.end(), info.path) == deniedPaths.end())
                    deniedPaths.push_back(info.path);
            }
            continue;
        }
        result = 3;
        if (!manufacturer || !product) {
            handle = std::move(device);
            return 0;
        }
        if (!info.manufacturer) {
            result = 2;
            continue;
        }
        if (NarrowString(*info.manufacturer) != manufacturer)
            continue;
        if (!info.product) {
            result = 2;
            continue;
        }
        if (NarrowString(*info.product) == product) {
            handle = std::move(device);
            return 0;
        }
    }
    return result;
}

bool hiddata::TakeOwedReply()
{
    if (owedReplies_ == 0)
        return false;
    if (Clock::now() > owedUntil_) {
        owedReplies_ = 0;
        return false;
    }
    --owedReplies_;
    return true;
}

void hiddata::DiscardQueuedInput()
{
    if (!deviceHandle)
        return;
    std::uint8_t scratch[HID_REPORT_SIZE];
    for (int i = 0; i < MAX_DISCARDED_REPORTS; ++i) {
        if (deviceHandle->read(scratch, 0) <= 0)
            break;
        boardSilent_ = false;
        (void)TakeOwedReply();
    }
    // A reply owed to a read that timed out gets one more read bound to turn up before the next
    // request goes out; boards answer in order, so after it the next reply is the next request's.
    // A board that let that wait pass in silence is not waited for again until it says something.
    if (owedReplies_ == 0 || graceSpent_ || boardSilent_)
        return;
    graceSpent_ = true;
    const auto graceEnd = std::min(Clock::now() + std::chrono::milliseconds(HID_READ_TIMEOUT_MS), owedUntil_);
    bool heard = false;
    while (owedReplies_ > 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(graceEnd - Clock::now());
        if (left.count() <= 0 || deviceHandle->read(scratch, static_cast<int>(left.count())) <= 0)
            break;
        heard = true;
        (void)TakeOwedReply();
    }
    boardSilent_ = !heard && owedReplies_ > 0;
}

bool hiddata::WriteReport(const std::uint8_t* data)
{
    requestKey_ = HashReport(requestKey_, data);
    if (!deviceHandle || ThreadCancelled())
        return true;
    DiscardQueuedInput();
    std::uint8_t out[HID_REPORT_SIZE];
    std::memcpy(out, data, HID_REPORT_SIZE);
    out[0] = 0; // hidapi would take any other first byte as a numbered report
    return deviceHandle->write(out) != static_cast<int>(HID_REPORT_SIZE);
}

void hiddata::NoteAnswered()
{
    lastReadFailed_ = false;
    if (repliesByRequest_.size() >= MAX_REMEMBERED_REPLIES && !repliesByRequest_.contains(requestKey_))
        repliesByRequest_.clear();
    std::copy_n(report, HID_REPORT_SIZE, repliesByRequest_[requestKey_].begin());
    requestKey_ = FNV_OFFSET;
}

void hiddata::NoteUnanswered(bool timedOut, bool tookOwedReply, const char* what)
{
    lastReadFailed_ = true;
    ++threadReadFailures;
    const auto it = repliesByRequest_.find(requestKey_);
    if (it != repliesByRequest_.end())
        std::copy_n(it->second.begin(), HID_REPORT_SIZE, report);
    else
        std::memset(report, 0, sizeof report);
    requestKey_ = FNV_OFFSET;
    // The board may still answer; that answer belongs to this request, not to the next. Not so
    // when this read threw away a reply as owed: with the earlier one lost, that was this one's.
    if (timedOut && !tookOwedReply) {
        ++owedReplies_;
        owedUntil_ = Clock::now() + LATE_REPLY_WINDOW;
        graceSpent_ = false;
    }
    const int code = !deviceHandle ? USB_ERROR_NOT_FOUND : timedOut ? ETIMEDOUT : USB_ERROR_COMMUNICATION;
    qCDebug(lcHid) << what << UsbErrorText(code).c_str();
}

std::uint8_t* hiddata::ReadReport()
{
    lastReport = report;
    if (!deviceHandle || ThreadCancelled()) {
        NoteUnanswered(false, false, "ReadReport:");
        return report;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(HID_READ_TIMEOUT_MS);
    std::uint8_t in[HID_REPORT_SIZE] = {};
    int n = 0;
    bool tookOwedReply = false;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        n = deviceHandle->read(in, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (n > 0)
            boardSilent_ = false;
        if (n <= 0 || !TakeOwedReply())
            break;
        tookOwedReply = true;
        std::memset(in, 0, sizeof in); // a late answer to an earlier request: wait on for ours
    }
    if (n <= 0) {
        NoteUnanswered(n == 0, tookOwedReply, "ReadReport:");
        return report;
    }
    in[0] = 0;
    std::memcpy(report, in, HID_REPORT_SIZE); // a short report arrives zero-padded
    NoteAnswered();
    return report;
}

int hiddata::SetFeatureReport(const std::uint8_t* data)
{
    requestKey_ = HashReport(requestKey_, data);
    std::memset(report, 0, sizeof report);
    std::memcpy(report, data, HID_REPORT_SIZE);
    report[0] = 0;
    if (!deviceHandle || ThreadCancelled())
        return 2;
    return deviceHandle->sendFeature(report) == static_cast<int>(HID_REPORT_SIZE) ? 0 : 2;
}

std::uint8_t* hiddata::GetFeatureReport()
{
    lastReport = report;
    report[0] = 0;
    std::uint8_t in[HID_REPORT_SIZE] = {};
    if (!(deviceHandle && !ThreadCancelled() && deviceHandle->getFeature(in) == static_cast<int>(HID_REPORT_SIZE))) {
        NoteUnanswered(false, false, "GetFeatureReport:"); // a control transfer has no late answer
        return report;
    }
    in[0] = 0;
    std::memcpy(report, in, HID_REPORT_SIZE);
    NoteAnswered();
    return report;
}

std::string hiddata::UsbErrorText(int code)
{
    switch (code) {
    case 1:
        return "Access to device denied";
    case 2:
        return "Communication error with device";
    case 3:
        return "The specified device was not found";
    default: {
        char text[48];
        std::snprintf(text, sizeof text, "Unknown USB error %d", code);
        return text;
    }
    }
}

std::string hiddata::NarrowString(const std::wstring& text)
{
    std::string narrow;
    narrow.reserve(text.size());
    for (const wchar_t ch : text) {
        const auto unit = static_cast<std::uint32_t>(ch);
        if (unit == 0)
            break;
        if (unit < 256)
            narrow.push_back(static_cast<char>(unit));
        else if (unit > 0xFFFF)
            narrow.append("??"); // a surrogate pair is two code units
        else
            narrow.push_back('?');
    }
    return narrow;
}
