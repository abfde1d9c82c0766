#pragma once
// Production backend on hidapi's hidraw flavour.
#include "hid_backend.h"

class HidapiBackend final : public HidBackend {
public:
    // Makes LC_CTYPE UTF-8 (hidapi decodes device strings with mbstowcs) and initialises hidapi.
    // Construct on the main thread before any other thread starts.
    HidapiBackend();
    ~HidapiBackend() override;
    HidapiBackend(const HidapiBackend&) = delete;
    HidapiBackend& operator=(const HidapiBackend&) = delete;

    std::vector<HidDeviceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path) override;
    // A hidraw node that exists but that this user may not read and write (no udev rule yet).
    bool accessDenied(const std::string& path) override;

    // Sets a UTF-8 LC_CTYPE unless one is already in force.
    static void EnsureUtf8Ctype();
};
