#pragma once

#include "richtext/rtf_formats.h"

#include <QTextEdit>

#include <optional>

class QImage;
class QMenu;
class QMimeData;
class QToolBar;

// Pictures in the write page's editor: made fit for a diary entry when they come in (from a
// file, the clipboard or a drop), shown at most as wide as the editor, and resized by command.
namespace picture_commands {

// The longest side a picture keeps when it is inserted; larger ones are scaled down.
constexpr int kMaxPictureSide = 1600;

// The sizes the resize command offers.
enum class PictureSize { Quarter, Half, Full, FitWidth };

// A picture made fit for an entry from an image file's bytes: scaled down to kMaxPictureSide,
// kept as PNG when it is a drawing (PNG, GIF, BMP and the like without photo colours) and as
// JPEG when it is a photo; the file's own bytes are kept when they are no larger than a
// re-encoding and need no scaling. Nothing when the bytes are no image.
std::optional<richtext::Picture> pictureFromFile(const QByteArray &bytes);

// The same for an image held in memory (the clipboard's).
richtext::Picture pictureFromImage(const QImage &image);

// Inserts the picture at the editor's cursor, no wider than the editor's text area.
void insertPicture(QTextEdit *editor, const richtext::Picture &picture);

// Reads an image file and inserts it; false when the file cannot be read or holds no image.
bool insertPictureFile(QTextEdit *editor, const QString &path);

// Resizes the picture at the cursor (selected, or just before the cursor); false when there is
// none. Sizes are of the picture's own pixels; FitWidth is the editor's text width.
bool resizePicture(QTextEdit *editor, PictureSize size);

// Whether there is a picture at the cursor for resizePicture.
bool hasPictureAtCursor(const QTextEdit *editor);

// The insert-picture command (「插入图片」, asking for a file) and the picture size menu
// (「图片大小」), added to the page (whose shortcut context they share), its toolbar and its
// editor's context menu. The size commands are enabled only with a picture at the cursor.
void addPictureCommands(QWidget *page, QTextEdit *editor, QToolBar *toolbar, QMenu *contextMenu);

// The editor of the write page: pasting an image and dropping image files insert pictures made
// fit as above; everything else is as in QTextEdit.
class PictureTextEdit : public QTextEdit
{
public:
    using QTextEdit::QTextEdit;

    // Public, so that what a paste or a drop brings can be handed over directly.
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
};

} // namespace picture_commands
