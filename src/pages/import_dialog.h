#pragma once

#include "import/importer.h"

#include <QDate>
#include <QDialog>
#include <QSet>
#include <QStringList>

#include <functional>

class QButtonGroup;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;
class QRadioButton;

// The import's summary, shown once the chosen files have been read, before anything is
// written: what was recognised of each other diary program's export (「Day One 导出：412 篇，跨
// 1 023 天，其中 38 天有多篇；图片 96 张」), how many days will be imported and how many of them
// already have an entry (SummaryLabel); those days, the first ones by name (ExistingLabel,
// hidden when there are none); the files that cannot be imported and the entries of an export
// that will be skipped, with their reasons (RefusedList, hidden when there are none); the one
// choice for the
// days that have an entry (SkipRadio 「跳过」, the default, AppendRadio 「追加」, ReplaceRadio
// 「替换」), and the text encoding (EncodingBox: 自动识别, UTF-8, GBK). Changing the encoding
// announces encodingChanged: the owner reads the files again and calls setPlan. OK 「导入」 is
// enabled only when there is something to import.
class TImportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TImportDialog(QWidget *parent = nullptr);

    // Shows the plan; existing: the days the diary has entries for.
    void setPlan(const diary_import::Plan &plan, const QSet<QDate> &existing);

    diary_import::Existing existingChoice() const;
    diary_import::Encoding encoding() const;

    // The files to import, chosen in the file dialog (several at once); empty when the user
    // cancelled. A test sets another chooser; an empty function restores the dialog.
    static QStringList chooseFiles(QWidget *owner);
    static void setFileChooser(std::function<QStringList(QWidget *)> chooser);

    QLabel *SummaryLabel;
    QLabel *ExistingLabel;
    QPlainTextEdit *RefusedList;
    QRadioButton *SkipRadio;
    QRadioButton *AppendRadio;
    QRadioButton *ReplaceRadio;
    QComboBox *EncodingBox;
    QDialogButtonBox *Buttons;

signals:
    void encodingChanged(diary_import::Encoding encoding);

private:
    QButtonGroup *m_existing;
};
