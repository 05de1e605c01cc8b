#pragma once

#include <QByteArrayView>

// Entry name patterns, as extraction chooses entries. Pattern and name (GBK bytes) are compared
// without regard to ASCII case and as a whole: "*" matches any run of characters, "?" any one
// character, "<...>" one character of a set of characters and ranges ("a-z"), "<!...>" or
// "<^...>" one character outside it; every other character matches itself. A double-byte
// character counts as one character. A "<" without a closing ">" is an ordinary character.
namespace zip {

// True when the pattern holds none of "*", "?" and "<": it then matches exactly the names equal
// to it without regard to ASCII case, which a lookup by folded name answers directly.
bool isPlainName(QByteArrayView pattern);

bool matchesPattern(QByteArrayView pattern, QByteArrayView name);

} // namespace zip
