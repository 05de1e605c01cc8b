#include "import/picture_links.h"

#include "richtext/pictures.h"

#include <QBuffer>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

namespace diary_import {

namespace {

// The bytes of a data: URI ("data:image/png;base64,…"); nothing for any other name.
std::optional<QByteArray> dataUriBytes(const QString &name)
{
    if (!name.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return std::nullopt;
    const qsizetype comma = name.indexOf(u',');
    if (comma < 0)
        return std::nullopt;
    const QStringView header = QStringView(name).mid(5, comma - 5);
    const QByteArray payload = QStringView(name).mid(comma + 1).toLatin1();
    if (header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)) {
        const auto decoded = QByteArray::fromBase64Encoding(payload, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        return *decoded;
    }
    return QByteArray::fromPercentEncoding(payload);
}

} // namespace

std::optional<richtext::Picture> pictureOfFile(const QByteArray &bytes)
{
    richtext::Picture picture;
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        picture.kind = richtext::PictureKind::Png;
    else if (bytes.startsWith("\xFF\xD8\xFF"))
        picture.kind = richtext::PictureKind::Jpeg;
    const QSize size = richtext::pictureFileSize(bytes);
    if (picture.kind != richtext::PictureKind::Other && size.isValid()) {
        picture.data = bytes;
    } else {
        const QImage image = QImage::fromData(bytes);
        if (image.isNull())
            return std::nullopt;
        QBuffer buffer(&picture.data);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        picture.kind = richtext::PictureKind::Png;
    }
    const QSize shown = richtext::pictureFileSize(picture.data);
    picture.width = shown.width();
    picture.height = shown.height();
    return picture;
}

TakenPictures takePictures(QTextDocument &doc, const PictureSource &source)
{
    struct Linked {
        int position;
        int length;
        QString name;
    };
    QList<Linked> linked;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                linked.append({it.fragment().position(), it.fragment().length(),
                               it.fragment().charFormat().toImageFormat().name()});
    TakenPictures taken;
    // From the end, so that a removal leaves the earlier positions as they are.
    for (auto it = linked.crbegin(); it != linked.crend(); ++it) {
        QTextCursor cursor(&doc);
        cursor.setPosition(it->position);
        cursor.setPosition(it->position + it->length, QTextCursor::KeepAnchor);
        std::optional<QByteArray> bytes = dataUriBytes(it->name);
        if (!bytes && source)
            bytes = source(it->name);
        std::optional<richtext::Picture> picture;
        if (bytes) {
            picture = pictureOfFile(*bytes);
            if (!picture)
                taken.unreadable.prepend(it->name.startsWith(QLatin1String("data:")) ? it->name.left(32) : it->name);
        }
        if (!picture) {
            cursor.removeSelectedText();
            continue;
        }
        QTextImageFormat format = richtext::addPicture(doc, *picture);
        if (format.width() > kMaxShownWidth) {
            format.setHeight(format.height() * kMaxShownWidth / format.width());
            format.setWidth(kMaxShownWidth);
        }
        cursor.setCharFormat(format);
        ++taken.placed;
    }
    return taken;
}

} // namespace diary_import
