// libFuzzer target: configuration files in both formats, read from whatever text the fuzzer gives,
// and a configuration written back and read again.
//   cmake --build build-fuzz --target fuzz_configuration && build-fuzz/tests/fuzz/fuzz_configuration -runs=1000000
#include "configuration_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Profile profile = Profile::FromText(text);
    (void)ReadOldConfiguration(profile);
    const ConfigurationRead read = ReadConfiguration(profile);
    if (!read.configuration)
        return 0;
    const Configuration& loaded = *read.configuration;
    if (loaded.rows < 0 || loaded.rows > 10 || loaded.columns < 0 || loaded.columns > 10 || loaded.PageCount() > 64)
        std::abort(); // a file the grid cannot hold must have been refused

    // What is written over the same file reads back as it was written, but for the mask rule's
    // loss of the difference between 1 and 2.
    WriteConfiguration(loaded, profile);
    const ConfigurationRead again = ReadConfiguration(Profile::FromText(profile.Text()));
    if (!again.configuration || again.configuration->PageCount() != loaded.PageCount())
        std::abort();
    for (int p = 0; p < loaded.PageCount(); ++p) {
        const PageConfiguration& a = loaded.pages[static_cast<std::size_t>(p)];
        const PageConfiguration& b = again.configuration->pages[static_cast<std::size_t>(p)];
        if (a.thresholdHigh != b.thresholdHigh || a.refData != b.refData || a.dataMax != b.dataMax ||
            a.dataMin != b.dataMin || a.offsetUpper != b.offsetUpper)
            std::abort();
    }
    return 0;
}
