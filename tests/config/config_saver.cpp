// Saves a full 8 x 8 configuration over and over, alternating two sets of values, until killed.
//   config_saver PATH FIRST   (FIRST = 0 or 1: which set goes first)
#include "configuration_file.h"

#include <cstdio>

namespace {
Configuration Filled(std::uint16_t value)
{
    Configuration c;
    c.columns = 8;
    c.rows = 8;
    for (auto& page : c.pages) {
        page.thresholdHigh.fill(value);
        page.thresholdLow.fill(static_cast<std::uint16_t>(value - 1));
        page.refData.fill(value);
    }
    return c;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const Configuration sets[] = {Filled(1111), Filled(2222)};
    for (unsigned n = argv[2][0] == '1' ? 1 : 0;; ++n) {
        Profile profile;
        if (!profile.Load(argv[1]))
            return 1;
        WriteConfiguration(sets[n % 2], profile);
        if (!profile.Save(argv[1])) {
            std::fprintf(stderr, "%s\n", profile.Error().c_str());
            return 1;
        }
    }
}
