// libFuzzer target: the INI profile reader and writer on whatever text the fuzzer gives.
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DVORLAINE_FUZZ=ON
//   cmake --build build-fuzz --target fuzz_profile && build-fuzz/tests/fuzz/fuzz_profile -max_total_time=60
#include "profile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Profile p = Profile::FromText(text);
    // Untouched text must come back byte for byte.
    if (p.Text() != text)
        std::abort();

    // Names taken from the input itself, so that they hit its sections and keys.
    const std::size_t cut = size / 3;
    const std::string section(text.substr(0, cut / 2));
    const std::string key(text.substr(cut / 2, cut - cut / 2));
    (void)p.GetString(section, key);
    (void)p.GetInt(section, key, 0);
    (void)p.GetInt("GLOBAL", "COL", 0);

    if (p.SetString(section, key, "42")) {
        const Profile back = Profile::FromText(p.Text());
        if (back.GetString(section, key) != "42" || back.GetInt(section, key, -1) != 42)
            std::abort();
    }
    return 0;
}
