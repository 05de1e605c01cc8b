#include "crypto/recovery_code.h"

#include <sodium.h>

namespace recovery_code {

const char kAlphabet[33] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";

QString generate()
{
    ensureSodium();
    QString code;
    code.reserve(kLength + kLength / kGroupLength - 1);
    for (int i = 0; i < kLength; ++i) {
        if (i > 0 && i % kGroupLength == 0)
            code += QLatin1Char('-');
        // randombytes_uniform draws without modulo bias.
        code += QLatin1Char(kAlphabet[randombytes_uniform(32)]);
    }
    return code;
}

namespace {

// The alphabet character the typed one stands for, 0 to drop it, -1 when it is not allowed.
int canonical(char16_t c)
{
    if (c == u' ' || c == u'\t' || c == u'-')
        return 0;
    if (c >= u'a' && c <= u'z')
        c = char16_t(c - u'a' + u'A');
    if (c == u'O')
        return '0';
    if (c == u'I' || c == u'L')
        return '1';
    if (c < 0x80) {
        for (const char *a = kAlphabet; *a; ++a)
            if (*a == char(c))
                return c;
    }
    return -1;
}

} // namespace

std::optional<SecretBytes> normalise(const QString &typed)
{
    if (typed.size() > 4 * kLength)   // far more than any grouping of a code
        return std::nullopt;
    const QString text = typed.normalized(QString::NormalizationForm_KC);
    SecretBytes out(kLength);
    int n = 0;
    for (const QChar qc : text) {
        const int c = canonical(qc.unicode());
        if (c < 0)
            return std::nullopt;
        if (c == 0)
            continue;
        if (n == kLength)
            return std::nullopt;
        out.data()[n++] = uchar(c);
    }
    if (n != kLength)
        return std::nullopt;
    return out;
}

bool isWellFormed(const QString &typed)
{
    return normalise(typed).has_value();
}

} // namespace recovery_code
