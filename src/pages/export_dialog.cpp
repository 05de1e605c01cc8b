#include "pages/export_dialog.h"
#include "widgets/date_popup.h"
#include "widgets/lunar_day_calendar.h"

#include "diary/entry.h"
#include "platform/message_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

struct FormatItem {
    const char *caption;
    diary_export::Format format;
    const char *filter;
};
const FormatItem kFormats[] = {
    {"HTML 网页", diary_export::Format::Html, "HTML 网页 (*.html)"},
    {"Markdown", diary_export::Format::Markdown, "Markdown (*.md)"},
    {"纯文本", diary_export::Format::Text, "纯文本 (*.txt)"},
    {"PDF", diary_export::Format::Pdf, "PDF (*.pdf)"},
    {"ODF 文本", diary_export::Format::Odf, "ODF 文本 (*.odt)"},
};

const QPageSize::PageSizeId kPageSizes[] = {QPageSize::A4, QPageSize::A5, QPageSize::B5, QPageSize::Letter};

} // namespace

TExportDialog::TExportDialog(const QList<QByteArray> &selected, bool onSelection, QWidget *parent)
    : QDialog(parent), m_selected(selected)
{
    setObjectName(QStringLiteral("ExportDialog"));
    setWindowTitle(export_dialog_text::title());

    FormatBox = new QComboBox(this);
    FormatBox->setObjectName(QStringLiteral("FormatBox"));
    for (const FormatItem &item : kFormats)
        FormatBox->addItem(QString::fromUtf8(item.caption));

    WholeDiary = new QRadioButton(QStringLiteral("整本日记"), this);
    WholeDiary->setObjectName(QStringLiteral("WholeDiary"));
    DateRange = new QRadioButton(QStringLiteral("日期范围"), this);
    DateRange->setObjectName(QStringLiteral("DateRange"));
    SelectedRows = new QRadioButton(QStringLiteral("选中的日记（%1 篇）").arg(selected.size()), this);
    SelectedRows->setObjectName(QStringLiteral("SelectedRows"));
    SelectedRows->setEnabled(!selected.isEmpty());
    const auto dateEdit = [this](const char *name, const QDate &date) {
        auto *edit = new QDateEdit(date, this);
        edit->setObjectName(QLatin1String(name));
        edit->setCalendarPopup(true);
        showWholeMonth(edit);
        showLunarDays(edit);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        return edit;
    };
    FromDate = dateEdit("FromDate", diary::today().addYears(-1));
    ToDate = dateEdit("ToDate", diary::today());
    (onSelection && !selected.isEmpty() ? SelectedRows : WholeDiary)->setChecked(true);

    PerEntry = new QCheckBox(QStringLiteral("每篇一个文件（按年分文件夹）"), this);
    PerEntry->setObjectName(QStringLiteral("PerEntry"));
    PageSizeBox = new QComboBox(this);
    PageSizeBox->setObjectName(QStringLiteral("PageSizeBox"));
    for (QPageSize::PageSizeId id : kPageSizes)
        PageSizeBox->addItem(QPageSize::name(id));

    auto *range = new QHBoxLayout;
    range->addWidget(DateRange);
    range->addWidget(FromDate);
    range->addWidget(new QLabel(QStringLiteral("至"), this));
    range->addWidget(ToDate);
    range->addStretch(1);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("格式："), FormatBox);
    form->addRow(QStringLiteral("范围："), WholeDiary);
    form->addRow(QString(), range);
    form->addRow(QString(), SelectedRows);
    form->addRow(QString(), PerEntry);
    form->addRow(QStringLiteral("纸张："), PageSizeBox);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("导出"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(FormatBox, &QComboBox::currentIndexChanged, this, &TExportDialog::updateControls);
    connect(DateRange, &QRadioButton::toggled, this, &TExportDialog::updateControls);
    updateControls();
}

void TExportDialog::updateControls()
{
    const diary_export::Format format = kFormats[qMax(0, FormatBox->currentIndex())].format;
    PerEntry->setEnabled(format == diary_export::Format::Markdown);
    PageSizeBox->setEnabled(format == diary_export::Format::Pdf);
    FromDate->setEnabled(DateRange->isChecked());
    ToDate->setEnabled(DateRange->isChecked());
}

diary_export::Options TExportDialog::options() const
{
    diary_export::Options options;
    options.format = kFormats[qMax(0, FormatBox->currentIndex())].format;
    options.perEntry = options.format == diary_export::Format::Markdown && PerEntry->isChecked();
    options.pageSize = QPageSize(kPageSizes[qMax(0, PageSizeBox->currentIndex())]);
    return options;
}

diary_export::Selection TExportDialog::selection() const
{
    diary_export::Selection selection;
    if (DateRange->isChecked()) {
        selection.kind = diary_export::Selection::Kind::DateRange;
        selection.from = qMin(FromDate->date(), ToDate->date());
        selection.to = qMax(FromDate->date(), ToDate->date());
    } else if (SelectedRows->isChecked()) {
        selection.kind = diary_export::Selection::Kind::Names;
        selection.names = m_selected;
    }
    return selection;
}

diary_export::ExportReport exportWithProgress(QWidget *owner, TArchiveReader &reader,
                                              const DiaryKey *key,
                                              const diary_export::Selection &selection,
                                              const diary_export::Options &options,
                                              const QString &out)
{
    QProgressDialog progress(export_dialog_text::progress(), export_dialog_text::cancel(), 0, 1, owner);
    progress.setObjectName(QStringLiteral("ExportProgress"));
    progress.setWindowTitle(export_dialog_text::title());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setValue(0);
    const diary_export::ExportReport report = diary_export::exportDiary(
        reader, key, selection, options, out, [&progress](int done, int total) {
            progress.setMaximum(qMax(1, total));
            progress.setValue(done);
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
    progress.reset();

    QString text;
    if (report.cancelled) {
        text = report.files.isEmpty() ? export_dialog_text::cancelled()
                                      : export_dialog_text::cancelledPartly(int(report.files.size()));
    } else {
        text = export_dialog_text::done(report.exported);
        if (report.pictures > 0) {
            text += QLatin1Char('\n') + (report.picturesFolder.isEmpty()
                                              ? export_dialog_text::picturesBeside(report.pictures)
                                              : export_dialog_text::picturesIn(report.pictures,
                                                                               QDir::toNativeSeparators(report.picturesFolder)));
        }
    }
    if (!report.skipped.isEmpty()) {
        text += QLatin1Char('\n') + export_dialog_text::leftOut();
        for (const diary_export::Skipped &skipped : report.skipped)
            text += QStringLiteral("\n%1（%2）").arg(skipped.name, skipped.reason);
    }
    if (report.skipped.isEmpty())
        msgbox::showMessage(owner, text);
    else
        msgbox::showWarning(owner, text);
    return report;
}

void exportDiaryCommand(QWidget *owner, TArchiveReader &reader, const DiaryKey *key,
                        const QString &diaryName, const QList<QByteArray> &selected, bool onSelection)
{
    TExportDialog dialog(selected, onSelection, owner);
    if (dialog.exec() != QDialog::Accepted)
        return;
    diary_export::Options options = dialog.options();
    options.diaryName = diaryName;
    QString out;
    if (options.perEntry) {
        out = QFileDialog::getExistingDirectory(owner, export_dialog_text::chooseFolder());
    } else {
        const FormatItem *item = &kFormats[0];
        for (const FormatItem &one : kFormats) {
            if (one.format == options.format)
                item = &one;
        }
        const QString suggested = diaryName + QLatin1Char('.') + diary_export::suffixOf(options.format);
        out = QFileDialog::getSaveFileName(owner, export_dialog_text::chooseFile(), suggested,
                                           QString::fromUtf8(item->filter));
    }
    if (out.isEmpty())
        return;
    exportWithProgress(owner, reader, key, dialog.selection(), options, out);
}
