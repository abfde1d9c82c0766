#include "record_uuid.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <stdexcept>

namespace {
void RandomBytes(unsigned char* out, std::size_t size)
{
    while (size > 0) {
        const ssize_t got = getrandom(out, size, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("getrandom failed");
        }
        out += got;
        size -= static_cast<std::size_t>(got);
    }
}
} // namespace

std::string NewUuid7(std::int64_t unixMs)
{
    std::array<unsigned char, 16> b{};
    RandomBytes(b.data() + 6, 10);
    const auto ms = static_cast<std::uint64_t>(unixMs < 0 ? 0 : unixMs);
    for (int k = 0; k < 6; ++k)
        b[static_cast<std::size_t>(k)] = static_cast<unsigned char>(ms >> (40 - 8 * k));
    b[6] = static_cast<unsigned char>(0x70 | (b[6] & 0x0F));
    b[8] = static_cast<unsigned char>(0x80 | (b[8] & 0x3F));
    static constexpr char HEX[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t k = 0; k < b.size(); ++k) {
        if (k == 4 || k == 6 || k == 8 || k == 10)
            text += '-';
        text += HEX[b[k] >> 4];
        text += HEX[b[k] & 0x0F];
    }
    return text;
}
