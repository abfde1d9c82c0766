#pragma once
// The seam between hiddata and the system: hidapi in production, the simulated bus in tests and demos.
// This folder uses the standard library, Qt Core (logging) and hidapi only.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

inline constexpr std::size_t HID_REPORT_SIZE = 65; // byte 0 = report id 0, payload in 1..64

// Upper bound of every input-report read. Boards answer within a few milliseconds; a tenth of a
// second still covers a board that writes its flash before acknowledging, and keeps a silent board
// from stalling a connection pass for long.
inline constexpr int HID_READ_TIMEOUT_MS = 100;

struct HidDeviceInfo {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::optional<std::wstring> manufacturer; // nullopt: the device did not give the string
    std::optional<std::wstring> product;
};

// One open device. All buffers use the 65-byte layout, whatever the backend does underneath.
class HidDevice {
public:
    virtual ~HidDevice() = default;
    // Returns HID_REPORT_SIZE when sent, -1 on failure.
    [[nodiscard]] virtual int write(const std::uint8_t* report) = 0;
    // Returns the number of bytes stored (byte 0 is always 0), 0 on time-out, -1 on failure.
    [[nodiscard]] virtual int read(std::uint8_t* report, int timeoutMs) = 0;
    [[nodiscard]] virtual int sendFeature(const std::uint8_t* report) = 0;
    // Fills the 65 bytes; returns HID_REPORT_SIZE on success, -1 on failure (buffer then unspecified).
    [[nodiscard]] virtual int getFeature(std::uint8_t* report) = 0;
};

class HidBackend {
public:
    virtual ~HidBackend() = default;
    // Present devices in enumeration order, one record per path.
    [[nodiscard]] virtual std::vector<HidDeviceInfo> enumerate() = 0;
    // nullptr when the path cannot be opened.
    [[nodiscard]] virtual std::unique_ptr<HidDevice> open(const std::string& path) = 0;
    // After a failed open: whether the node is there but this process lacks the right to open it.
    [[nodiscard]] virtual bool accessDenied(const std::string& /*path*/) { return false; }
};
