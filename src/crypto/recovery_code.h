#pragma once

#include "crypto/secret.h"

#include <QString>

#include <optional>

// Recovery codes: 24 characters of Crockford's base32 alphabet (digits and capitals without
// I, L, O and U), 120 random bits, shown as six groups of four joined by "-":
// "7KQ2-M9XD-0VHT-3BRC-WN5E-PG8A". Whatever the user types back is normalised before it is
// used, so case, spaces, dashes, full-width characters and the confusable letters do not matter.
namespace recovery_code {

// "0123456789ABCDEFGHJKMNPQRSTVWXYZ"
extern const char kAlphabet[33];
inline constexpr int kLength = 24;
inline constexpr int kGroupLength = 4;

// A new code from libsodium's random source, in its grouped display form.
QString generate();

// The code's canonical bytes, the secret the key is derived from: compatibility-decomposed
// (NFKC, so full-width letters and dashes become ASCII), spaces, tabs and dashes removed, lower
// case raised, O read as 0, I and L as 1; then exactly kLength characters of kAlphabet must
// remain. Empty when they do not.
std::optional<SecretBytes> normalise(const QString &typed);

// True when normalise() would accept the text; lets a dialog refuse a mistyped code before the
// slow derivation.
bool isWellFormed(const QString &typed);

} // namespace recovery_code
