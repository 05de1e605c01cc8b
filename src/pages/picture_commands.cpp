#include "pages/picture_commands.h"

#include "diary/record_limit.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "richtext/pictures.h"

#include <QAction>
#include <QBuffer>
#include <QFileDialog>
#include <QMenu>
#include <QToolBar>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMimeData>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>

namespace picture_commands {

namespace {

constexpr int kJpegQuality = 85;
// A picture with more distinct colours than this in a sample is a photo.
constexpr int kPhotoColours = 4096;

QByteArray encode(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, format[0] == 'J' ? kJpegQuality : -1);
    return bytes;
}

// Photos have many colours and no transparency; drawings and screenshots few.
bool looksLikePhoto(const QImage &image)
{
    if (image.hasAlphaChannel())
        return false;
    const QImage sample = image.width() * image.height() > 256 * 256
                              ? image.scaled(256, 256, Qt::KeepAspectRatio)
                              : image;
    const QImage rgb = sample.convertToFormat(QImage::Format_RGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            colours.insert(line[x]);
            if (colours.size() > kPhotoColours)
                return true;
        }
    }
    return false;
}

QImage scaledDown(const QImage &image)
{
    if (std::max(image.width(), image.height()) <= kMaxPictureSide)
        return image;
    return image.scaled(kMaxPictureSide, kMaxPictureSide, Qt::KeepAspectRatio,
                        Qt::SmoothTransformation);
}

richtext::Picture picture(richtext::PictureKind kind, QByteArray bytes, QSize size)
{
    richtext::Picture p;
    p.kind = kind;
    p.data = std::move(bytes);
    p.width = size.width();
    p.height = size.height();
    return p;
}

std::optional<QTextImageFormat> imageAtCursor(const QTextEdit *editor, QTextCursor *at)
{
    QTextCursor cursor = editor->textCursor();
    const int position = cursor.hasSelection() ? cursor.selectionStart() : cursor.position() - 1;
    if (position < 0)
        return std::nullopt;
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    const QTextCharFormat f = cursor.charFormat();
    if (!f.isImageFormat() || cursor.selectedText() != QString(QChar::ObjectReplacementCharacter))
        return std::nullopt;
    if (at)
        *at = cursor;
    return f.toImageFormat();
}

qreal textWidth(const QTextEdit *editor)
{
    const qreal margins = 2 * editor->document()->documentMargin();
    return std::max<qreal>(editor->viewport()->width() - margins, 16);
}

} // namespace

richtext::Picture pictureFromImage(const QImage &source)
{
    const QImage image = scaledDown(source);
    const bool photo = looksLikePhoto(image);
    const char *format = photo ? "JPEG" : "PNG";
    return picture(photo ? richtext::PictureKind::Jpeg : richtext::PictureKind::Png,
                   encode(image, format), image.size());
}

std::optional<richtext::Picture> pictureFromFile(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format().toLower();
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    richtext::Picture made = pictureFromImage(image);
    // The file as it is, when it is already a PNG or JPEG of a fitting size and the same kind,
    // and no larger than what re-encoding gives.
    const bool sameKind = (format == "png" && made.kind == richtext::PictureKind::Png)
                          || (format == "jpeg" && made.kind == richtext::PictureKind::Jpeg)
                          || (format == "jpg" && made.kind == richtext::PictureKind::Jpeg);
    if (sameKind && image.size() == QSize(made.width, made.height)
        && bytes.size() <= made.data.size() && reader.transformation() == QImageIOHandler::TransformationNone)
        made.data = bytes;
    return made;
}

void insertPicture(QTextEdit *editor, const richtext::Picture &picture)
{
    QTextImageFormat f = richtext::addPicture(*editor->document(), picture);
    const qreal maxWidth = textWidth(editor);
    if (f.width() > maxWidth) {
        f.setHeight(f.height() * maxWidth / f.width());
        f.setWidth(maxWidth);
    }
    editor->textCursor().insertImage(f);
}

bool insertPictureFile(QTextEdit *editor, const QString &path)
{
    // A regular file only, and no larger than an entry may hold it (twice its bytes as RTF):
    // a device or a FIFO dropped on the editor is never read.
    const files::ReadFile file = files::readRegularFile(path, diary_limits::kMaxRecordSize / 2);
    if (!file.ok())
        return false;
    const std::optional<richtext::Picture> picture = pictureFromFile(file.bytes);
    if (!picture)
        return false;
    insertPicture(editor, *picture);
    return true;
}

bool hasPictureAtCursor(const QTextEdit *editor)
{
    return imageAtCursor(editor, nullptr).has_value();
}

bool resizePicture(QTextEdit *editor, PictureSize size)
{
    QTextCursor at;
    const std::optional<QTextImageFormat> found = imageAtCursor(editor, &at);
    if (!found)
        return false;
    QTextImageFormat f = *found;
    const std::optional<richtext::Picture> picture = richtext::pictureOf(*editor->document(), f);
    QSizeF own = picture && picture->width > 0 && picture->height > 0
                     ? QSizeF(picture->width, picture->height)
                     : QSizeF(f.width(), f.height());
    if (own.isEmpty())
        return false;
    qreal factor = 1;
    switch (size) {
    case PictureSize::Quarter: factor = 0.25; break;
    case PictureSize::Half: factor = 0.5; break;
    case PictureSize::Full: factor = 1; break;
    case PictureSize::FitWidth: factor = textWidth(editor) / own.width(); break;
    }
    f.setWidth(own.width() * factor);
    f.setHeight(own.height() * factor);
    at.setCharFormat(f);
    return true;
}

void addPictureCommands(QWidget *page, QTextEdit *editor, QToolBar *toolbar, QMenu *contextMenu)
{
    auto *insert = new QAction(QIcon(QStringLiteral(":/pages/picture.svg")),
                               QStringLiteral("插入图片(&G)"), page);
    insert->setObjectName(QStringLiteral("InsertPicture"));
    insert->setToolTip(QStringLiteral("插入图片"));
    insert->setStatusTip(QStringLiteral("插入图片"));
    page->addAction(insert);
    QObject::connect(insert, &QAction::triggered, editor, [page, editor] {
        const QString path = QFileDialog::getOpenFileName(
            page, QStringLiteral("插入图片"), QString(),
            QStringLiteral("图片 (*.png *.jpg *.jpeg *.gif *.bmp *.webp);;所有文件 (*)"));
        if (!path.isEmpty())
            insertPictureFile(editor, path);
        editor->setFocus();
    });

    auto *sizes = new QMenu(QStringLiteral("图片大小(&Z)"), page);
    sizes->setObjectName(QStringLiteral("PictureSizeMenu"));
    const std::pair<const char *, PictureSize> choices[] = {
        {"25 %", PictureSize::Quarter},
        {"50 %", PictureSize::Half},
        {"100 %", PictureSize::Full},
    };
    for (const auto &[caption, size] : choices) {
        QAction *a = sizes->addAction(QString::fromLatin1(caption));
        QObject::connect(a, &QAction::triggered, editor, [editor, s = size] { resizePicture(editor, s); });
    }
    QAction *fit = sizes->addAction(QStringLiteral("适合宽度"));
    QObject::connect(fit, &QAction::triggered, editor,
                     [editor] { resizePicture(editor, PictureSize::FitWidth); });
    QObject::connect(contextMenu, &QMenu::aboutToShow, sizes,
                     [sizes, editor] { sizes->setEnabled(hasPictureAtCursor(editor)); });

    toolbar->addSeparator();
    toolbar->addAction(insert);
    contextMenu->addSeparator();
    contextMenu->addAction(insert);
    contextMenu->addMenu(sizes)->setObjectName(QStringLiteral("PictureSize"));
}

bool PictureTextEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasImage() || source->hasUrls() || QTextEdit::canInsertFromMimeData(source);
}

void PictureTextEdit::insertFromMimeData(const QMimeData *source)
{
    // What would make the entry larger than an entry may hold on its own is not pasted: the
    // save would refuse it anyway, after the editor had built a document of it.
    if (2 * qint64(source->text().size()) > diary_limits::kMaxRecordSize
        || (source->hasImage() && !source->hasText()
            && qvariant_cast<QImage>(source->imageData()).sizeInBytes() > 4 * diary_limits::kMaxRecordSize)) {
        msgbox::showWarning(this, diary_limits::pasteTooLarge());
        return;
    }
    if (source->hasUrls()) {
        bool inserted = false;
        for (const QUrl &url : source->urls())
            if (url.isLocalFile())
                inserted = insertPictureFile(this, url.toLocalFile()) || inserted;
        if (inserted)
            return;
    }
    if (source->hasImage() && !source->hasText()) {
        const QImage image = qvariant_cast<QImage>(source->imageData());
        if (!image.isNull()) {
            insertPicture(this, pictureFromImage(image));
            return;
        }
    }
    QTextEdit::insertFromMimeData(source);
}

} // namespace picture_commands
