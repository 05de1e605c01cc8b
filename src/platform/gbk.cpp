#include "gbk.h"
#include "exception.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <cstring>

// "GBK" through ICU is Windows code page 936: 0x80 is the euro sign and every GBK extension pair
// decodes. "GB2312" would split the extension pairs, so it is never used.
static const char kCodec[] = "GBK";

namespace gbk {

QByteArray encode(const QString &text)
{
    QStringEncoder encoder(kCodec);
    return encoder.encode(text);
}

namespace {

#include "gbk_table.inc"

constexpr char16_t kAskConverter = 0xFFFF;

// Decodes through the table as far as it reaches. Returns how many bytes it decoded, always
// whole characters; the rest (a sequence the table leaves to the converter: an invalid or
// unmapped pair, a lead byte cut off at the end) starts at a character boundary, where the
// stateless converter starts afresh, so that table and converter together give what the
// converter alone gives. GBK is ASCII below 0x80 (the generator checks it), so runs of ASCII
// are copied eight bytes at a time.
qsizetype decodeByTable(const uchar *bytes, qsizetype size, char16_t *out, qsizetype &written)
{
    qsizetype i = 0;
    qsizetype o = 0;
    while (i < size) {
        while (i + 8 <= size) {
            quint64 word;
            std::memcpy(&word, bytes + i, 8);
            if (word & 0x8080808080808080ull)
                break;
            for (int k = 0; k < 8; ++k)
                out[o + k] = bytes[i + k];
            i += 8;
            o += 8;
        }
        if (i == size)
            break;
        const uchar b = bytes[i];
        if (b < 0x80) {
            out[o++] = b;
            ++i;
            continue;
        }
        char16_t unit = kAskConverter;
        qsizetype length = 1;
        if (!isLeadByte(b)) {
            unit = kGbkSingle[b - 0x80];
        } else if (i + 1 < size && bytes[i + 1] >= 0x40) {
            unit = kGbkPair[b - 0x81][bytes[i + 1] - 0x40];
            length = 2;
        }
        if (unit == kAskConverter)
            break;
        out[o++] = unit;
        i += length;
    }
    written = o;
    return i;
}

} // namespace

QString decode(const QByteArray &bytes)
{
    return decode(bytes.constData(), bytes.size());
}

QString decode(const char *bytes, qsizetype size)
{
    // Each byte gives at most one UTF-16 unit through the table.
    QString text(size, Qt::Uninitialized);
    qsizetype written = 0;
    const qsizetype done = decodeByTable(reinterpret_cast<const uchar *>(bytes), size,
                                         reinterpret_cast<char16_t *>(text.data()), written);
    text.truncate(written);
    if (done < size) {
        QStringDecoder decoder(kCodec);
        text += decoder.decode(QByteArrayView(bytes + done, size - done));
    }
    return text;
}

Decoder::Decoder() = default;

QString Decoder::decode(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    qsizetype written = 0;
    const qsizetype done = decodeByTable(reinterpret_cast<const uchar *>(bytes.data()), bytes.size(),
                                         reinterpret_cast<char16_t *>(text.data()), written);
    text.truncate(written);
    if (done < bytes.size()) {
        if (!m_decoder)
            m_decoder.emplace(kCodec);
        text += m_decoder->decode(bytes.sliced(done));
        m_decoder->resetState();
    }
    return text;
}

bool canEncode(const QString &text)
{
    QStringEncoder encoder(kCodec);
    (void)QByteArray(encoder.encode(text));
    return !encoder.hasError();
}

QByteArray encodeOrThrow(const QString &text, const QString &what)
{
    QStringEncoder encoder(kCodec);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        throw EEncodingError(QStringLiteral("The %1 holds characters that cannot be stored: %2")
                                 .arg(what, text));
    return bytes;
}

} // namespace gbk
