#include "hidapi_backend.h"

#include <hidapi/hidapi.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <set>
#include <sys/stat.h>

namespace {

// Callers see byte 0 = report id 0 and the payload in 1..64. hidraw hands input reports over
// without the id byte, so reads go to buf + 1; writes and feature reports take the id in byte 0.
class HidapiDevice final : public HidDevice {
public:
    explicit HidapiDevice(hid_device* dev) : dev_(dev) {}
    ~HidapiDevice() override { hid_close(dev_); }
    HidapiDevice(const HidapiDevice&) = delete;
    HidapiDevice& operator=(const HidapiDevice&) = delete;

    int write(const std::uint8_t* report) override
    {
        return retryOnSignal([&] { return hid_write(dev_, report, HID_REPORT_SIZE); });
    }

    int read(std::uint8_t* report, int timeoutMs) override
    {
        std::uint8_t in[HID_REPORT_SIZE] = {};
        const int n = retryOnSignal([&] { return hid_read_timeout(dev_, in + 1, HID_REPORT_SIZE - 1, timeoutMs); });
        if (n <= 0)
            return n;
        std::memcpy(report, in, HID_REPORT_SIZE);
        return n + 1;
    }

    int sendFeature(const std::uint8_t* report) override
    {
        return retryOnSignal([&] { return hid_send_feature_report(dev_, report, HID_REPORT_SIZE); });
    }

    int getFeature(std::uint8_t* report) override
    {
        std::uint8_t in[HID_REPORT_SIZE] = {};
        const int n = retryOnSignal([&] { return hid_get_feature_report(dev_, in, HID_REPORT_SIZE); });
        if (n <= 0)
            return -1;
        in[0] = 0;
        std::memcpy(report, in, HID_REPORT_SIZE);
        return static_cast<int>(HID_REPORT_SIZE);
    }

private:
    template <typename Call>
    static int retryOnSignal(Call call)
    {
        for (int attempt = 0;; ++attempt) {
            errno = 0;
            const int n = call();
            if (n >= 0 || errno != EINTR || attempt >= 3)
                return n;
        }
    }

    hid_device* dev_;
};

std::optional<std::wstring> toOptional(const wchar_t* text)
{
    if (!text)
        return std::nullopt;
    return std::wstring(text);
}

} // namespace

HidapiBackend::HidapiBackend()
{
    EnsureUtf8Ctype();
    hid_init();
}

HidapiBackend::~HidapiBackend()
{
    hid_exit();
}

void HidapiBackend::EnsureUtf8Ctype()
{
    const char* codeset = nl_langinfo(CODESET);
    if (codeset && std::strcmp(codeset, "UTF-8") == 0)
        return;
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        std::setlocale(LC_CTYPE, "en_US.UTF-8");
}

std::vector<HidDeviceInfo> HidapiBackend::enumerate()
{
    std::vector<HidDeviceInfo> devices;
    std::set<std::string> seen; // one record per top-level usage: a path can repeat
    hid_device_info* list = hid_enumerate(0, 0);
    for (const hid_device_info* d = list; d; d = d->next) {
        if (!d->path || !seen.insert(d->path).second)
            continue;
        devices.push_back({d->path, d->vendor_id, d->product_id, toOptional(d->manufacturer_string),
                           toOptional(d->product_string)});
    }
    hid_free_enumeration(list);
    return devices;
}

namespace {
bool IsHidrawNode(const std::string& path)
{
    struct stat st {};
    return path.rfind("/dev/hidraw", 0) == 0 && ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}
} // namespace

bool HidapiBackend::accessDenied(const std::string& path)
{
    if (!IsHidrawNode(path))
        return false;
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0 && (errno == EACCES || errno == EPERM);
}

std::unique_ptr<HidDevice> HidapiBackend::open(const std::string& path)
{
    // hid_open_path misbehaves on anything but a live hidraw node.
    if (!IsHidrawNode(path))
        return nullptr;
    hid_device* dev = hid_open_path(path.c_str());
    if (!dev)
        return nullptr;
    return std::make_unique<HidapiDevice>(dev);
}
