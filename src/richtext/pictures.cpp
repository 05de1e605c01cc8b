#include "pictures.h"

#include "format_mapping.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>

namespace richtext {

namespace {

constexpr int kKindProperty = QTextFormat::UserProperty + 0x700;
constexpr int kWidthProperty = QTextFormat::UserProperty + 0x701;
constexpr int kHeightProperty = QTextFormat::UserProperty + 0x702;

// A placeholder never needs to be larger than a page.
constexpr int kMaxPlaceholderSide = 2000;
constexpr int kDefaultPlaceholderSide = 96;

const QString kImageScheme = QStringLiteral("quillbook-picture");
const QString kDataScheme = QStringLiteral("quillbook-picture-data");

QUrl resourceUrl(const QString &scheme, const QString &key)
{
    QUrl url;
    url.setScheme(scheme);
    url.setPath(key);
    return url;
}

// Some writers pad a file after its end marker.
bool endsNear(const QByteArray &data, QByteArrayView end)
{
    constexpr qsizetype kPadding = 4096;
    const qsizetype at = data.lastIndexOf(end);
    return at >= 0 && at + end.size() >= data.size() - kPadding;
}

// The image format to decode the picture with; nothing for a metafile or for a file cut short
// (which the image readers would report on stderr; it is shown as a placeholder instead).
const char *decodableFormat(const Picture &p)
{
    static const QByteArray kPngEnd = QByteArray::fromHex("49454e44ae426082");   // IEND chunk
    switch (p.kind) {
    case PictureKind::Png: return endsNear(p.data, kPngEnd) ? "PNG" : nullptr;
    case PictureKind::Jpeg:
        return p.data.startsWith("\xff\xd8") && endsNear(p.data, "\xff\xd9") ? "JPEG" : nullptr;
    default: return nullptr;
    }
}

QImage placeholder(QSize size)
{
    size = size.boundedTo(QSize(kMaxPlaceholderSide, kMaxPlaceholderSide))
               .expandedTo(QSize(8, 8));
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(0xe8, 0xe8, 0xe8));
    QPainter painter(&image);
    painter.setPen(QColor(0x90, 0x90, 0x90));
    painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
    painter.drawLine(image.rect().topLeft(), image.rect().bottomRight());
    painter.drawLine(image.rect().topRight(), image.rect().bottomLeft());
    return image;
}

// The size a picture asks to be shown at, in the document's pixels.
QSizeF shownSize(const Picture &p, QSize own)
{
    QSizeF size;
    if (p.goalWidth > 0 && p.goalHeight > 0)
        size = QSizeF(twipsToPixels(p.goalWidth), twipsToPixels(p.goalHeight));
    else if (own.isValid())
        size = own;
    else if (p.width > 0 && p.height > 0 && (p.kind == PictureKind::Png || p.kind == PictureKind::Jpeg))
        size = QSizeF(p.width, p.height);
    else
        size = QSizeF(kDefaultPlaceholderSide, kDefaultPlaceholderSide);
    return QSizeF(size.width() * p.scaleX / 100.0, size.height() * p.scaleY / 100.0);
}

} // namespace

QSize pictureFileSize(const QByteArray &data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.size();
}

QTextImageFormat addPicture(QTextDocument &doc, const Picture &picture)
{
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash(picture.data, QCryptographicHash::Sha1).toHex());
    const QUrl imageUrl = resourceUrl(kImageScheme, key);
    QImage image;
    const char *format = decodableFormat(picture);
    if (format)
        image = QImage::fromData(picture.data, format);
    const QSizeF size = shownSize(picture, image.size());
    if (image.isNull())
        image = placeholder(size.toSize());
    doc.addResource(QTextDocument::ImageResource, imageUrl, image);
    doc.addResource(QTextDocument::UserResource, resourceUrl(kDataScheme, key), picture.data);

    QTextImageFormat f;
    f.setName(imageUrl.toString());
    f.setWidth(size.width());
    f.setHeight(size.height());
    f.setProperty(kKindProperty, int(picture.kind));
    f.setProperty(kWidthProperty, picture.width);
    f.setProperty(kHeightProperty, picture.height);
    return f;
}

std::optional<Picture> pictureOf(const QTextDocument &doc, const QTextImageFormat &format)
{
    const QUrl name(format.name());
    Picture p;
    if (name.scheme() == kImageScheme) {
        p.data = doc.resource(QTextDocument::UserResource, resourceUrl(kDataScheme, name.path()))
                     .toByteArray();
        p.kind = PictureKind(format.property(kKindProperty).toInt());
        p.width = format.property(kWidthProperty).toInt();
        p.height = format.property(kHeightProperty).toInt();
    }
    if (p.data.isEmpty()) {
        const QVariant shown = doc.resource(QTextDocument::ImageResource, name);
        QImage image = shown.value<QImage>();
        if (image.isNull())
            image = shown.value<QPixmap>().toImage();
        if (image.isNull())
            return std::nullopt;
        QBuffer buffer(&p.data);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        p.kind = PictureKind::Png;
        p.width = image.width();
        p.height = image.height();
    }
    if (p.kind == PictureKind::Png || p.kind == PictureKind::Jpeg) {
        const QSize own = pictureFileSize(p.data);
        if (own.isValid()) {
            p.width = own.width();
            p.height = own.height();
        }
    }
    const double width = format.width() > 0 ? format.width() : p.width;
    const double height = format.height() > 0 ? format.height() : p.height;
    p.goalWidth = std::max(pixelsToTwips(width), 0);
    p.goalHeight = std::max(pixelsToTwips(height), 0);
    return p;
}

} // namespace richtext
