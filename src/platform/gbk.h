#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <optional>

// The boundary between the program's Unicode user interface and the GBK (Windows code page 936)
// bytes that are stored or compared: entry names, archive comments, the user list, RTF records,
// password bytes. Nothing else in the program converts between the two.
namespace gbk {

// GBK bytes of the text. Characters GBK cannot represent become '?'; use canEncode() first where
// that would lose data.
QByteArray encode(const QString &text);

// Text of GBK bytes. A byte sequence that is not valid GBK decodes to U+FFFD for that sequence.
QString decode(const QByteArray &bytes);
QString decode(const char *bytes, qsizetype size);

// decode() for many short pieces in a row (the text runs of an RTF record): the same result for
// each piece, without setting up a converter every time. Each call stands alone.
//
// Both decode through a table made from the converter at build time (gbk_table_generator) and
// leave to the converter only what the table does not hold: invalid sequences and a lead byte
// cut off at the end.
class Decoder
{
public:
    Decoder();
    QString decode(QByteArrayView bytes);

private:
    std::optional<QStringDecoder> m_decoder;   // made on first need
};

// True when every character of the text has a GBK encoding.
bool canEncode(const QString &text);

// GBK bytes of the text, or throws EEncodingError naming what the text is for ("user name", …)
// when GBK cannot represent it.
QByteArray encodeOrThrow(const QString &text, const QString &what);

// True when the byte starts a double-byte character (0x81..0xFE).
constexpr bool isLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

} // namespace gbk
