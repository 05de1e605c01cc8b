#include "gbk.h"
#include "exception.h"

#include <QStringDecoder>
#include <QStringEncoder>

// "GBK" through ICU is Windows code page 936: 0x80 is the euro sign and every GBK extension pair
// decodes. "GB2312" would split the extension pairs, so it is never used.
static const char kCodec[] = "GBK";

namespace gbk {

QByteArray encode(const QString &text)
{
    QStringEncoder encoder(kCodec);
    return encoder.encode(text);
}

QString decode(const QByteArray &bytes)
{
    return decode(bytes.constData(), bytes.size());
}

QString decode(const char *bytes, qsizetype size)
{
    QStringDecoder decoder(kCodec);
    return decoder.decode(QByteArrayView(bytes, size));
}

Decoder::Decoder() : m_decoder(kCodec) {}

QString Decoder::decode(QByteArrayView bytes)
{
    QString text = m_decoder.decode(bytes);
    m_decoder.resetState();
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
