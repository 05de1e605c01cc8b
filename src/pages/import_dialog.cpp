#include "pages/import_dialog.h"

#include "import/messages.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

std::function<QStringList(QWidget *)> &fileChooser()
{
    static std::function<QStringList(QWidget *)> chooser;
    return chooser;
}

} // namespace

TImportDialog::TImportDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ImportDialog"));
    setWindowTitle(import_text::dialogTitle());

    SummaryLabel = new QLabel(this);
    SummaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
    SummaryLabel->setWordWrap(true);
    ExistingLabel = new QLabel(this);
    ExistingLabel->setObjectName(QStringLiteral("ExistingLabel"));
    ExistingLabel->setWordWrap(true);
    RefusedList = new QPlainTextEdit(this);
    RefusedList->setObjectName(QStringLiteral("RefusedList"));
    RefusedList->setReadOnly(true);
    RefusedList->setMaximumHeight(120);

    auto *group = new QGroupBox(import_text::existingGroup(), this);
    SkipRadio = new QRadioButton(import_text::skipChoice(), group);
    SkipRadio->setObjectName(QStringLiteral("SkipRadio"));
    AppendRadio = new QRadioButton(import_text::appendChoice(), group);
    AppendRadio->setObjectName(QStringLiteral("AppendRadio"));
    ReplaceRadio = new QRadioButton(import_text::replaceChoice(), group);
    ReplaceRadio->setObjectName(QStringLiteral("ReplaceRadio"));
    m_existing = new QButtonGroup(this);
    m_existing->addButton(SkipRadio, int(diary_import::Existing::Skip));
    m_existing->addButton(AppendRadio, int(diary_import::Existing::Append));
    m_existing->addButton(ReplaceRadio, int(diary_import::Existing::Replace));
    SkipRadio->setChecked(true);
    auto *choices = new QVBoxLayout(group);
    choices->addWidget(SkipRadio);
    choices->addWidget(AppendRadio);
    choices->addWidget(ReplaceRadio);

    EncodingBox = new QComboBox(this);
    EncodingBox->setObjectName(QStringLiteral("EncodingBox"));
    EncodingBox->addItem(import_text::autoEncoding(), int(diary_import::Encoding::Auto));
    EncodingBox->addItem(QStringLiteral("UTF-8"), int(diary_import::Encoding::Utf8));
    EncodingBox->addItem(QStringLiteral("GBK"), int(diary_import::Encoding::Gbk));
    auto *encodingRow = new QHBoxLayout;
    encodingRow->addWidget(new QLabel(import_text::encodingLabel(), this));
    encodingRow->addWidget(EncodingBox);
    encodingRow->addStretch(1);
    connect(EncodingBox, &QComboBox::currentIndexChanged, this, [this] { emit encodingChanged(encoding()); });

    auto *note = new QLabel(import_text::versionNote(), this);
    note->setWordWrap(true);
    note->setEnabled(false);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->button(QDialogButtonBox::Ok)->setText(import_text::importButton());
    Buttons->button(QDialogButtonBox::Cancel)->setText(import_text::cancel());
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(SummaryLabel);
    layout->addWidget(ExistingLabel);
    layout->addWidget(RefusedList);
    layout->addWidget(group);
    layout->addLayout(encodingRow);
    layout->addWidget(note);
    layout->addWidget(Buttons);
}

void TImportDialog::setPlan(const diary_import::Plan &plan, const QSet<QDate> &existing)
{
    // How many existing days the summary names; the rest it counts.
    constexpr int kNamedDays = 5;
    QStringList named;
    int written = 0;
    for (const diary_import::Entry &entry : plan.entries) {
        if (!existing.contains(entry.date))
            continue;
        if (++written <= kNamedDays)
            named.append(entry.date.toString(Qt::ISODate));
    }
    const int days = int(plan.entries.size());
    QStringList summary;
    for (const diary_import::SourceSummary &source : plan.sources) {
        QString line = import_text::sourceSummary(source.format, source.items, source.days, source.multiDays,
                                                  source.pictures);
        // Several exports: which file each line speaks of.
        if (plan.sources.size() > 1)
            line = import_text::ofFile(line, QFileInfo(source.path).fileName());
        summary.append(line);
    }
    summary.append(import_text::planSummary(
        days, days ? plan.entries.front().date.toString(Qt::ISODate) : QString(),
        days ? plan.entries.back().date.toString(Qt::ISODate) : QString(), written));
    SummaryLabel->setText(summary.join(u'\n'));
    ExistingLabel->setText(written > 0 ? import_text::existingDays(named, written) : QString());
    ExistingLabel->setVisible(written > 0);

    QStringList lines;
    if (!plan.refused.isEmpty())
        lines.append(import_text::refusedHeading());
    for (const diary_import::Refused &refused : plan.refused)
        lines.append(import_text::refusedLine(QFileInfo(refused.path).fileName(), refused.reason));
    if (!plan.skipped.isEmpty())
        lines.append(import_text::skippedHeading());
    for (const diary_import::Refused &skipped : plan.skipped)
        lines.append(import_text::refusedLine(QFileInfo(skipped.path).fileName(), skipped.reason));
    RefusedList->setPlainText(lines.join(u'\n'));
    RefusedList->setVisible(!lines.isEmpty());
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(days > 0);
}

diary_import::Existing TImportDialog::existingChoice() const
{
    return diary_import::Existing(m_existing->checkedId());
}

diary_import::Encoding TImportDialog::encoding() const
{
    return diary_import::Encoding(EncodingBox->currentData().toInt());
}

QStringList TImportDialog::chooseFiles(QWidget *owner)
{
    if (fileChooser())
        return fileChooser()(owner);
    return QFileDialog::getOpenFileNames(owner, import_text::chooseFiles(), QString(), import_text::fileFilter());
}

void TImportDialog::setFileChooser(std::function<QStringList(QWidget *)> chooser)
{
    fileChooser() = std::move(chooser);
}
