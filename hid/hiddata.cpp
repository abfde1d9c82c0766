#include "hiddata.h"

#include "hid_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
constexpr int USB_ERROR_COMMUNICATION = 2;
constexpr int USB_ERROR_NOT_FOUND = 3;
// hidraw queues at most 64 input reports per open file; anything beyond that is a babbling device.
constexpr int MAX_DISCARDED_REPORTS = 128;
} // namespace

hiddata::hiddata(HidBackend& backend_) : lastReport(report), backend(backend_) {}

hiddata::~hiddata() = default;

int hiddata::OpenDevice(std::uint16_t productId, std::uint16_t vendorId, const char* manufacturer,
                        const char* product)
{
    std::unique_ptr<HidDevice> handle;
    const int result = FindDevice(handle, vendorId, manufacturer, productId, product);
    deviceHandle = std::move(handle);
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
        if (!device)
            continue;
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

void hiddata::DiscardQueuedInput()
{
    std::uint8_t scratch[HID_REPORT_SIZE];
    for (int i = 0; i < MAX_DISCARDED_REPORTS && deviceHandle; ++i) {
        if (deviceHandle->read(scratch, 0) <= 0)
            break;
    }
}

bool hiddata::WriteReport(const std::uint8_t* data)
{
    if (!deviceHandle)
        return true;
    DiscardQueuedInput();
    std::uint8_t out[HID_REPORT_SIZE];
    std::memcpy(out, data, HID_REPORT_SIZE);
    out[0] = 0; // hidapi would take any other first byte as a numbered report
    return deviceHandle->write(out) != static_cast<int>(HID_REPORT_SIZE);
}

std::uint8_t* hiddata::ReadReport()
{
    int error = 0;
    if (!deviceHandle) {
        error = USB_ERROR_NOT_FOUND;
    } else {
        std::uint8_t in[HID_REPORT_SIZE] = {};
        const int n = deviceHandle->read(in, HID_READ_TIMEOUT_MS);
        if (n > 0) {
            in[0] = 0;
            std::memcpy(report, in, HID_REPORT_SIZE); // a short report arrives zero-padded
        } else {
            error = n == 0 ? ETIMEDOUT : USB_ERROR_COMMUNICATION;
        }
    }
    lastReadFailed_ = error != 0;
    if (lastReadFailed_)
        qCDebug(lcHid) << "ReadReport:" << UsbErrorText(error).c_str();
    lastReport = report;
    return report;
}

int hiddata::SetFeatureReport(const std::uint8_t* data)
{
    std::memset(report, 0, sizeof report);
    std::memcpy(report, data, HID_REPORT_SIZE);
    report[0] = 0;
    if (!deviceHandle)
        return 2;
    return deviceHandle->sendFeature(report) == static_cast<int>(HID_REPORT_SIZE) ? 0 : 2;
}

std::uint8_t* hiddata::GetFeatureReport()
{
    report[0] = 0;
    std::uint8_t in[HID_REPORT_SIZE] = {};
    lastReadFailed_ = !(deviceHandle && deviceHandle->getFeature(in) == static_cast<int>(HID_REPORT_SIZE));
    if (!lastReadFailed_) {
        in[0] = 0;
        std::memcpy(report, in, HID_REPORT_SIZE);
    } else {
        qCDebug(lcHid) << "GetFeatureReport:"
                       << UsbErrorText(deviceHandle ? USB_ERROR_COMMUNICATION : USB_ERROR_NOT_FOUND).c_str();
    }
    lastReport = report;
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
