// Deterministic damage to stored streams: bit flips, random bytes,
// truncation, inserted, deleted and duplicated bytes, and extreme 16- and
// 32-bit values where counts and lengths sit.
#pragma once

#include <QByteArray>

#include <random>

namespace zol::test {

// One to three random edits of `base`.
QByteArray MutateStream(const QByteArray& base, std::mt19937& rng);

}  // namespace zol::test
