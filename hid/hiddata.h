#pragma once
// Common base of every board protocol class: finds a board by ids and strings, opens it and
// exchanges 65-byte reports with it. Holds no lock: each board class serialises its own commands.
#include "hid_backend.h"

#include <cstdint>
#include <memory>
#include <string>

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
    // A failed or timed-out read leaves report as it was.
    std::uint8_t* ReadReport();
    // 0 = sent, 2 = refused.
    int SetFeatureReport(const std::uint8_t* data);
    std::uint8_t* GetFeatureReport();
    // Whether the last ReadReport or GetFeatureReport got nothing (report then holds the old reply).
    bool LastReadFailed() const { return lastReadFailed_; }

    static std::string UsbErrorText(int code);
    // Each UTF-16 code unit below 256 becomes that byte, any other unit "?"; stops at a zero.
    static std::string NarrowString(const std::wstring& text);

    std::uint8_t* lastReport;
    std::uint8_t report[HID_REPORT_SIZE] = {};
    std::unique_ptr<HidDevice> deviceHandle;

protected:
    HidBackend& backend;

private:
    // Input left over from an earlier command (a reply later than its read's bound) would otherwise
    // be taken as the answer to the next one.
    void DiscardQueuedInput();

    bool lastReadFailed_ = false;
};
