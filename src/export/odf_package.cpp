#include "export/odf_package.h"

#include "archive/byte_cursor.h"
#include "archive/zip_codec.h"
#include "archive/zip_layout.h"

#include <QRegularExpression>
#include <QString>
#include <QtEndian>

#include <utility>

namespace diary_export {

namespace {

constexpr quint16 kDataDescriptorFlag = 0x0008;
// content.xml deflated again at the level Qt's writer uses.
constexpr int kContentLevel = 6;
// Where a local and a central header keep the CRC, then the two sizes.
constexpr qsizetype kLocalCrcAt = 14;
constexpr qsizetype kCentralCrcAt = 16;

// The fields at a place in the package; 0 outside it.
quint16 u16(const QByteArray &bytes, qsizetype at)
{
    ByteCursor cursor(bytes);
    cursor.seek(at);
    return cursor.u16();
}

quint32 u32(const QByteArray &bytes, qsizetype at)
{
    ByteCursor cursor(bytes);
    cursor.seek(at);
    return cursor.u32();
}

void put32(QByteArray &bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

} // namespace

QByteArray withAsianTextPropertiesXml(const QByteArray &xml)
{
    static const QRegularExpression element(QStringLiteral("<style:text-properties\\b[^>]*>"));
    static const QRegularExpression attribute(
        QStringLiteral("\\bfo:(font-weight|font-style|font-size|font-family)=(\"[^\"]*\")"));
    // The styles come before the text (office:body), which may be ten years of entries.
    qsizetype stylesEnd = xml.indexOf("<office:body");
    if (stylesEnd < 0)
        stylesEnd = xml.size();
    const QString text = QString::fromUtf8(xml.left(stylesEnd));
    QString out;
    qsizetype copied = 0;
    for (auto it = element.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString tag = m.captured();
        QString added;
        for (auto a = attribute.globalMatch(tag); a.hasNext();) {
            const QRegularExpressionMatch property = a.next();
            for (const QLatin1String script : {QLatin1String("asian"), QLatin1String("complex")}) {
                const QString name = QStringLiteral("style:%1-%2").arg(property.captured(1), script);
                if (!tag.contains(name + u'='))
                    added += u' ' + name + u'=' + property.captured(2);
            }
        }
        if (added.isEmpty())
            continue;
        tag.insert(tag.endsWith(QLatin1String("/>")) ? tag.size() - 2 : tag.size() - 1, added);
        out += QStringView(text).mid(copied, m.capturedStart() - copied);
        out += tag;
        copied = m.capturedEnd();
    }
    if (out.isEmpty())
        return xml;
    out += QStringView(text).mid(copied);
    return out.toUtf8() + xml.mid(stylesEnd);
}

QByteArray withAsianTextProperties(const QByteArray &odt)
{
    // Qt writes no archive comment: the end record is the file's last 22 bytes.
    const qsizetype end = odt.size() - zip::kEndRecordSize;
    if (end < 0 || u32(odt, end) != zip::kEndSignature || u16(odt, end + 20) != 0)
        return odt;
    const int count = u16(odt, end + 10);
    const quint32 centralAt = u32(odt, end + 16);
    if (qint64(centralAt) + u32(odt, end + 12) != end)
        return odt;

    QByteArray entries;
    QByteArray central;
    bool changed = false;
    qsizetype at = centralAt;
    for (int i = 0; i < count; ++i) {
        if (at + zip::kCentralHeaderSize > end || u32(odt, at) != zip::kCentralSignature)
            return odt;
        const qsizetype headerEnd =
            at + zip::kCentralHeaderSize + u16(odt, at + zip::kCentralNameLengthAt)
            + u16(odt, at + zip::kCentralNameLengthAt + 2) + u16(odt, at + zip::kCentralNameLengthAt + 4);
        const quint32 local = u32(odt, at + 42);
        if (headerEnd > end || (u16(odt, at + 8) & kDataDescriptorFlag) || local + zip::kLocalHeaderSize > centralAt
            || u32(odt, local) != zip::kLocalSignature)
            return odt;
        const qsizetype dataAt = local + zip::kLocalHeaderSize + u16(odt, local + zip::kLocalNameLengthAt)
                                 + u16(odt, local + zip::kLocalNameLengthAt + 2);
        const quint32 compressed = u32(odt, at + 20);
        if (dataAt + qint64(compressed) > centralAt)
            return odt;
        QByteArray localHeader = odt.mid(local, dataAt - local);
        QByteArray centralHeader = odt.mid(at, headerEnd - at);
        QByteArray data = odt.mid(dataAt, compressed);

        const QByteArray name = odt.mid(at + zip::kCentralHeaderSize, u16(odt, at + zip::kCentralNameLengthAt));
        if (name == "content.xml" && u16(odt, at + 10) == zip::kMethodDeflated) {
            QByteArray xml(qsizetype(u32(odt, at + 24)), Qt::Uninitialized);
            qsizetype produced = 0;
            zip::WholeInflater inflater;
            if (inflater.inflate(data, xml.data(), xml.size(), &produced) != zip::WholeInflater::Done
                || produced != xml.size() || zip::crc32(0, xml) != u32(odt, at + 16))
                return odt;
            const QByteArray mended = withAsianTextPropertiesXml(xml);
            if (mended != xml) {
                data = zip::deflateRaw(mended, kContentLevel);
                const quint32 crc = zip::crc32(0, mended);
                for (const auto &[header, crcAt] : {std::pair{&localHeader, kLocalCrcAt},
                                                    std::pair{&centralHeader, kCentralCrcAt}}) {
                    put32(*header, crcAt, crc);
                    put32(*header, crcAt + 4, quint32(data.size()));
                    put32(*header, crcAt + 8, quint32(mended.size()));
                }
                changed = true;
            }
        }
        put32(centralHeader, 42, quint32(entries.size()));
        entries += localHeader + data;
        central += centralHeader;
        at = headerEnd;
    }
    if (!changed)
        return odt;
    QByteArray record = odt.mid(end, zip::kEndRecordSize);
    put32(record, 12, quint32(central.size()));
    put32(record, 16, quint32(entries.size()));
    return entries + central + record;
}

} // namespace diary_export
