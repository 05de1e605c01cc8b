#pragma once

#include "crypto/secret.h"

#include <QByteArray>

// The fixed diary key of the private-archive fuzz target and its seeds: bytes 1, 2, …, 32. The
// seeds are sealed with it, so the fuzzer starts from entries that open and learns from there.
namespace fuzzing {

inline DiaryKey privateTestKey()
{
    QByteArray bytes(32, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i + 1);
    return DiaryKey::fromBytes(bytes);
}

} // namespace fuzzing
