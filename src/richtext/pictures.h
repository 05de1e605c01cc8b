#pragma once

#include "rtf_formats.h"

#include <QTextImageFormat>

#include <optional>

class QTextDocument;

// Pictures in the document. A picture is an image format (QTextImageFormat) whose name is a
// resource of the document; beside the image shown, the document keeps the picture's bytes as
// they were read or inserted, under a second resource name, so that saving writes exactly those
// bytes again. Names are made from the bytes, so one picture added twice is stored once.
// PNG and JPEG are shown as they are; metafiles and undecodable data are shown as a grey box of
// the picture's size and written back unchanged.
namespace richtext {

// Adds the picture's resources to the document and gives the format that shows it, sized as
// the picture asks (its goal size and scale, else its own size in pixels).
QTextImageFormat addPicture(QTextDocument &doc, const Picture &picture);

// The picture an image format of the document shows, with its bytes: the stored ones, or for
// an image the document holds only as an image (as pasted by Qt itself), that image as PNG.
// The goal size is the size the format shows it at. Nothing when the document has no such image.
std::optional<Picture> pictureOf(const QTextDocument &doc, const QTextImageFormat &format);

// The width and height of a PNG or JPEG file, read from its header; an invalid size otherwise.
QSize pictureFileSize(const QByteArray &data);

} // namespace richtext
