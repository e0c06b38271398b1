#include "tests/support/stream_mutation.h"

#include <cstdint>

namespace zol::test {

QByteArray MutateStream(const QByteArray& base, std::mt19937& rng)
{
    QByteArray s = base;
    auto pick = [&](int n) { return n <= 0 ? 0 : static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const int edits = 1 + pick(3);
    for (int e = 0; e < edits; ++e) {
        switch (pick(8)) {
        case 0:  // flip a bit
            if (!s.isEmpty()) {
                const int i = pick(static_cast<int>(s.size()));
                s[i] = static_cast<char>(s[i] ^ (1 << pick(8)));
            }
            break;
        case 1:  // random byte
            if (!s.isEmpty())
                s[pick(static_cast<int>(s.size()))] = static_cast<char>(rng());
            break;
        case 2:  // truncate
            s.truncate(pick(static_cast<int>(s.size()) + 1));
            break;
        case 3: {  // insert random bytes
            QByteArray extra;
            for (int i = pick(9); i > 0; --i)
                extra.append(static_cast<char>(rng()));
            s.insert(pick(static_cast<int>(s.size()) + 1), extra);
            break;
        }
        case 4:  // delete a range
            if (!s.isEmpty()) {
                const int i = pick(static_cast<int>(s.size()));
                s.remove(i, 1 + pick(8));
            }
            break;
        case 5: {  // an extreme 16-bit value (counts)
            static const std::uint16_t values[] = {0x7FFF, 0x8000, 0xFFFF, 0x0100, 0x0004, 0};
            if (s.size() >= 2) {
                const int i = pick(static_cast<int>(s.size()) - 1);
                const std::uint16_t v = values[pick(6)];
                s[i] = static_cast<char>(v & 0xFF);
                s[i + 1] = static_cast<char>(v >> 8);
            }
            break;
        }
        case 6: {  // an extreme 32-bit value (lengths, singles)
            static const std::uint32_t values[] = {0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x7FC00000,
                                                   0x7F800000, 0xFF800000, 0x00010000, 0x4F000000};
            if (s.size() >= 4) {
                const int i = pick(static_cast<int>(s.size()) - 3);
                const std::uint32_t v = values[pick(8)];
                for (int b = 0; b < 4; ++b)
                    s[i + b] = static_cast<char>((v >> (8 * b)) & 0xFF);
            }
            break;
        }
        default:  // duplicate a chunk (repeated items)
            if (s.size() > 4) {
                const int i = pick(static_cast<int>(s.size()));
                s.insert(pick(static_cast<int>(s.size())), s.mid(i, 1 + pick(30)));
            }
            break;
        }
    }
    return s;
}

}  // namespace zol::test
