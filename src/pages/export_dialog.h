#pragma once

#include "export/diary_export.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QRadioButton;
class TArchiveReader;

// The export dialog of the list page 「导出日记」: FormatBox (HTML 网页, Markdown, 纯文本, PDF,
// ODF 文本), what to export (WholeDiary 「整本日记」, DateRange 「日期范围」 with FromDate and
// ToDate, SelectedRows 「选中的日记」, offered only when rows are selected), PerEntry 「每篇一个
// 文件（按年分文件夹）」 for Markdown, and PageSizeBox for PDF (A4, A5, B5, Letter).
class TExportDialog : public QDialog
{
    Q_OBJECT

public:
    // selected: the entry names (as stored) of the rows selected on the list page; the
    // dialog starts on them when there are any and onSelection is true.
    TExportDialog(const QList<QByteArray> &selected, bool onSelection, QWidget *parent = nullptr);

    QComboBox *FormatBox;
    QRadioButton *WholeDiary;
    QRadioButton *DateRange;
    QRadioButton *SelectedRows;
    QDateEdit *FromDate;
    QDateEdit *ToDate;
    QCheckBox *PerEntry;
    QComboBox *PageSizeBox;

    diary_export::Options options() const;
    diary_export::Selection selection() const;

private:
    void updateControls();

    QList<QByteArray> m_selected;
};

// Writes the export with a progress dialog 「正在导出日记…」 that can cancel it; the window's
// events are processed between entries, so it stays drawn and responsive while the progress
// dialog (window-modal) keeps the diary from being changed under the export. Shows the outcome
// afterwards: how many entries were written and those left out, or that it was cancelled.
// Throws what exportDiary throws.
diary_export::ExportReport exportWithProgress(QWidget *owner, TArchiveReader &reader,
                                              const DiaryKey *key,
                                              const diary_export::Selection &selection,
                                              const diary_export::Options &options,
                                              const QString &out);

// The whole command: the dialog, the file (or, for Markdown a file per entry, folder) dialog,
// then exportWithProgress. Nothing happens when either dialog is cancelled.
void exportDiaryCommand(QWidget *owner, TArchiveReader &reader, const DiaryKey *key,
                        const QString &diaryName, const QList<QByteArray> &selected, bool onSelection);

namespace export_dialog_text {
inline QString title() { return QStringLiteral("导出日记"); }
inline QString progress() { return QStringLiteral("正在导出日记…"); }
inline QString cancel() { return QStringLiteral("取消"); }
inline QString done(int count) { return QStringLiteral("已导出 %1 篇日记。").arg(count); }
inline QString picturesIn(int count, const QString &folder)
{
    return QStringLiteral("其中的 %1 张图片放在文件夹“%2”里。").arg(count).arg(folder);
}
inline QString picturesBeside(int count) { return QStringLiteral("其中的 %1 张图片放在各篇日记的文件旁边。").arg(count); }
inline QString leftOut() { return QStringLiteral("以下日记没有导出："); }
inline QString cancelled() { return QStringLiteral("导出已取消，没有写入文件。"); }
inline QString cancelledPartly(int count) { return QStringLiteral("导出已取消，已写入 %1 篇日记的文件。").arg(count); }
inline QString chooseFile() { return QStringLiteral("导出到文件"); }
inline QString chooseFolder() { return QStringLiteral("导出到文件夹"); }
} // namespace export_dialog_text
