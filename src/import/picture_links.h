#pragma once

#include "richtext/rtf_formats.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QTextDocument;

// Pictures an imported text names (Markdown links, HTML sources, a package's files) taken into
// the entry as its own pictures. Needs a QGuiApplication (images); never throws.
namespace diary_import {

// An imported picture is shown at most this wide (pixels), as the editor fits a picture it
// inserts; its bytes stay whole.
constexpr int kMaxShownWidth = 480;

// A picture file's bytes as an entry's picture: PNG and JPEG as they are, other images the
// reader knows as PNG. Nothing when the bytes are no image.
std::optional<richtext::Picture> pictureOfFile(const QByteArray &bytes);

// The bytes of the picture a name stands for; nothing when the name is no picture that can be
// had (a web address, a missing file).
using PictureSource = std::function<std::optional<QByteArray>(const QString &name)>;

struct TakenPictures {
    int placed = 0;
    QStringList unreadable;      // names whose bytes are no image
};

// Every image the document shows by a name becomes the entry's own picture, with the bytes of
// its data: URI or those source gives for the name. An image whose bytes cannot be had is left
// out, as the entry could not show it; so is one whose bytes are no image (named in unreadable).
TakenPictures takePictures(QTextDocument &doc, const PictureSource &source);

} // namespace diary_import
