#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;
class QTextImageFormat;

namespace diary_export {

// A picture of an entry as a file of its own: PNG and JPEG as they were stored, anything else
// (metafiles) as the image the document shows for it, in PNG.
struct PictureFile {
    QByteArray data;
    QString mime;     // "image/png", "image/jpeg"
    QString suffix;   // "png", "jpg"
};
PictureFile pictureFileOf(const QTextDocument &body, const QTextImageFormat &image);

// The body as HTML for inside an article, every picture inline as a data: URI. Paragraphs,
// lists and their formats are written here; a body this writer does not know in full (tables,
// links, formats the entries never hold) is written by QTextDocument::toHtml instead. Either way
// QTextDocument::setHtml reads back the formats the entry had.
QString htmlBodyOf(const QTextDocument &body);

} // namespace diary_export
