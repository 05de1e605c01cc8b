#include "app/history_dialog.h"

#include "app/texts.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "diary/entry_restore.h"
#include "diary/messages.h"
#include "platform/background.h"
#include "platform/gbk.h"
#include "platform/message_box.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString whenText(const QDateTime &taken)
{
    return taken.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

constexpr int kNameRole = Qt::UserRole;

} // namespace

THistoryDialog::THistoryDialog(TArchiveWriter &writer, const DiaryKey *key, QWidget *parent)
    : QDialog(parent), m_writer(writer), m_key(key)
{
    setObjectName(QStringLiteral("HistoryDialog"));
    setWindowTitle(app::text::historyCaption());
    m_empty = new QLabel(app::text::historyNone(), this);
    m_versions = new QListWidget(this);
    m_versions->setObjectName(QStringLiteral("Versions"));
    m_entries = new QTreeWidget(this);
    m_entries->setObjectName(QStringLiteral("Entries"));
    m_entries->setRootIsDecorated(false);
    m_entries->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_entries->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_entries->setHeaderLabels({QStringLiteral("日期"), QStringLiteral("天气"), QStringLiteral("情感"),
                                QStringLiteral("内容")});

    m_restoreEntries = new QPushButton(app::text::historyRestoreEntries(), this);
    m_restoreWhole = new QPushButton(app::text::historyRestoreWhole(), this);
    m_undoRestore = new QPushButton(app::text::historyUndoRestore(), this);
    m_undoRestore->setObjectName(QStringLiteral("UndoRestore"));
    auto *close = new QPushButton(app::text::historyClose(), this);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(m_restoreEntries, QDialogButtonBox::ActionRole);
    buttons->addButton(m_restoreWhole, QDialogButtonBox::ActionRole);
    buttons->addButton(m_undoRestore, QDialogButtonBox::ActionRole);
    buttons->addButton(close, QDialogButtonBox::RejectRole);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_versions, &QListWidget::currentRowChanged, this,
            [this](int row) { guarded([this, row] { showVersion(row); }); });
    connect(m_restoreEntries, &QPushButton::clicked, this, [this] { guarded([this] { restoreSelectedEntries(); }); });
    connect(m_restoreWhole, &QPushButton::clicked, this, [this] { guarded([this] { restoreWholeDiary(); }); });
    connect(m_undoRestore, &QPushButton::clicked, this, [this] { guarded([this] { undoRestore(); }); });

    auto *lists = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(new QLabel(app::text::historyVersions(), this));
    left->addWidget(m_versions);
    auto *right = new QVBoxLayout;
    right->addWidget(new QLabel(app::text::historyEntries(), this));
    right->addWidget(m_entries);
    lists->addLayout(left, 1);
    lists->addLayout(right, 3);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_empty);
    layout->addLayout(lists, 1);
    layout->addWidget(buttons);
    resize(640, 400);
    fillVersions();
}

namespace {

// Reading a version and every restore (a rewrite that may wait for the diary's lock) run off the
// window's thread, under the busy pointer, while the window keeps painting.
template <typename Work>
auto offThread(Work &&work)
{
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    return background::run(std::forward<Work>(work));
}

} // namespace

void THistoryDialog::openBackup(const QString &path)
{
    m_backup = path;
    setWindowTitle(QStringLiteral("从备份恢复"));
    m_undoRestore->hide();
    fillVersions();
}

void THistoryDialog::fillVersions()
{
    m_list = m_backup.isEmpty()
                 ? versions::list(m_writer.ZipName())
                 : QList<versions::Version>{{m_backup, QFileInfo(m_backup).lastModified().toUTC(), false}};
    const QSignalBlocker quiet(m_versions);
    m_versions->clear();
    for (const versions::Version &version : std::as_const(m_list)) {
        m_versions->addItem(m_backup.isEmpty()
                                ? app::text::historyVersionName(whenText(version.taken), version.beforeRestore)
                                : QFileInfo(version.path).fileName());
    }
    m_empty->setVisible(m_list.isEmpty());
    m_undoRestore->setEnabled(m_backup.isEmpty() && !m_list.isEmpty() && m_list.first().beforeRestore);
    // Every version's name whole, 「（恢复之前）」 included, at any font size.
    m_versions->setMinimumWidth(m_versions->sizeHintForColumn(0) + 2 * m_versions->frameWidth()
                                + m_versions->verticalScrollBar()->sizeHint().width());
    m_versions->setCurrentRow(m_list.isEmpty() ? -1 : 0);
    showVersion(m_versions->currentRow());
}

QString THistoryDialog::chosenWhen() const
{
    const int row = m_versions->currentRow();
    return row >= 0 && row < m_list.size() ? whenText(m_list[row].taken) : QString();
}

void THistoryDialog::showVersion(int row)
{
    m_entries->clear();
    const bool chosen = row >= 0 && row < m_list.size();
    m_restoreEntries->setEnabled(false);
    m_restoreWhole->setEnabled(false);
    if (!chosen)
        return;
    const QString path = m_list[row].path;
    const DiaryKey *key = m_key;
    const diary::Listing listing = offThread([path, key] {
        TArchiveReader reader;
        reader.SetZipName(path);
        return diary::listEntries(reader, key);
    });
    for (const diary::ListRow &entry : listing.rows) {
        auto *item = new QTreeWidgetItem(m_entries, {entry.name, entry.weather, entry.mood,
                                                     entry.summary.left(200).simplified()});
        item->setData(0, kNameRole, entry.nameBytes);
    }
    // A version that cannot be listed (damaged, or of the other format than the diary now) is
    // not put back; the box says why.
    if (!guarded([&listing] { listing.rethrowError(); }))
        return;
    m_restoreEntries->setEnabled(!listing.rows.isEmpty());
    m_restoreWhole->setEnabled(true);
}

void THistoryDialog::restoreSelectedEntries()
{
    const int row = m_versions->currentRow();
    if (row < 0 || row >= m_list.size())
        return;
    const QList<QTreeWidgetItem *> selected = m_entries->selectedItems();
    if (selected.isEmpty()) {
        msgbox::showWarning(this, app::text::historySelectEntries());
        return;
    }
    if (msgbox::show(this, QMessageBox::Question, diary_text::caption(),
                     app::text::historyConfirmEntries(int(selected.size()), chosenWhen()),
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    QList<QByteArray> names;
    for (const QTreeWidgetItem *item : selected)
        names.append(item->data(0, kNameRole).toByteArray());
    const diary::RestoreOutcome outcome =
        offThread([&] { return diary::restoreEntries(m_list[row].path, m_writer, names, m_key); });
    QStringList refused;
    for (const auto &[name, problem] : outcome.refused)
        refused << app::text::historyEntryNotRestored(gbk::decode(name), diary::problemReason(problem));
    m_changed = m_changed || !outcome.restored.isEmpty();
    msgbox::show(this, refused.isEmpty() ? QMessageBox::Information : QMessageBox::Warning, diary_text::caption(),
                 (QStringList{app::text::historyRestored(int(outcome.restored.size()))} + refused).join(u'\n'));
    fillVersions();
}

void THistoryDialog::restoreWholeDiary()
{
    const int row = m_versions->currentRow();
    if (row < 0 || row >= m_list.size())
        return;
    if (msgbox::show(this, QMessageBox::Question, diary_text::caption(),
                     app::text::historyConfirmWhole(chosenWhen()), QMessageBox::Yes | QMessageBox::No,
                     QMessageBox::No)
        != QMessageBox::Yes)
        return;
    offThread([&] { diary::restoreWhole(m_list[row].path, m_writer, m_key); });
    m_changed = true;
    msgbox::show(this, QMessageBox::Information, diary_text::caption(), app::text::historyWholeRestored());
    fillVersions();
}

void THistoryDialog::undoRestore()
{
    if (m_list.isEmpty() || !m_list.first().beforeRestore)
        return;
    if (msgbox::show(this, QMessageBox::Question, diary_text::caption(),
                     app::text::historyConfirmUndo(whenText(m_list.first().taken)),
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    offThread([&] { diary::restoreWhole(m_list.first().path, m_writer, m_key); });
    m_changed = true;
    msgbox::show(this, QMessageBox::Information, diary_text::caption(), app::text::historyUndone());
    fillVersions();
}
