// The import command of the list page.
#include "main_form.h"
#include "auto_lock.h"
#include "texts.h"

#include "archive/archive_lock.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "import/importer.h"
#include "import/messages.h"
#include "pages/import_dialog.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/message_box.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QSet>
#include <QTimer>

#include <atomic>

namespace {

// How often the import's progress dialog looks at the worker's progress.
constexpr int kProgressPollMs = 50;

// The days the diary has entries for, as its directory names them.
QSet<QDate> daysWithEntries(TArchiveReader &reader)
{
    QSet<QDate> days;
    if (!files::exists(reader.ZipName()))
        return days;
    ArchiveLock lock(reader.ZipName(), ArchiveLock::Shared);
    reader.OpenArchive();
    for (int i = 0; i < reader.EntryCount(); ++i) {
        const QDate day = diary::dateOfName(gbk::decode(reader.EntryNameBytes(i)));
        if (day.isValid())
            days.insert(day);
    }
    return days;
}

// A modal progress dialog whose cancel the work asks about between its steps; the steps
// process the window's events, so the window stays responsive.
struct Progress {
    Progress(QWidget *owner, const QString &label, qsizetype total)
        : dialog(label, import_text::cancel(), 0, int(total), owner)
    {
        dialog.setWindowTitle(import_text::caption());
        dialog.setWindowModality(Qt::WindowModal);
        dialog.setMinimumDuration(300);
        dialog.setAutoClose(false);
        dialog.setAutoReset(false);
    }
    bool step(qsizetype done, qsizetype total)
    {
        // Work under way is no idle time: the diary (and its key) must not lock in the middle.
        if (autoLock)
            autoLock->restart();
        dialog.setMaximum(int(total));
        dialog.setValue(int(done));
        return !dialog.wasCanceled();
    }
    QProgressDialog dialog;
    AutoLock *autoLock = nullptr;
};

QString daysText(const QList<QPair<QDate, diary::EntryProblem>> &days)
{
    QStringList names;
    for (const auto &[day, problem] : days)
        names.append(QStringLiteral("%1（%2）").arg(diary::entryName(day), diary::problemReason(problem)));
    return names.join(QStringLiteral("、"));
}

} // namespace

void TForm1::ImportExecute()
{
    waitForAutoSave();
    if (m_diaryPath.isEmpty())
        return;
    const QStringList files = TImportDialog::chooseFiles(this);
    if (files.isEmpty())
        return;
    const QString diaryPath = m_diaryPath;
    const QSet<QDate> existing = offThread(app::text::openingDiary(), [diaryPath] {
        TArchiveReader reader;
        reader.SetZipName(diaryPath);
        return daysWithEntries(reader);
    });

    TImportDialog dialog(this);
    std::optional<diary_import::Plan> plan;
    const auto readPlan = [&](diary_import::Encoding encoding) {
        Progress progress(this, import_text::reading(), files.size());
        progress.autoLock = m_autoLock;
        plan = diary_import::readFiles(files, encoding, [&](qsizetype done, qsizetype total) {
            return progress.step(done, total);
        });
        if (plan)
            dialog.setPlan(*plan, existing);
        return plan.has_value();
    };
    if (!readPlan(diary_import::Encoding::Auto))
        return;
    connect(&dialog, &TImportDialog::encodingChanged, &dialog, [&](diary_import::Encoding encoding) {
        guarded([&] {
            if (!readPlan(encoding))
                dialog.reject();
        });
    });
    if (dialog.exec() != QDialog::Accepted || !plan || m_diaryPath != diaryPath)
        return;

    // The entries are made and the diary rewritten on a worker; the progress dialog, polled
    // meanwhile, shows how far it is and passes its cancel on until the rewrite starts.
    Progress progress(this, import_text::importing(), plan->entries.size());
    progress.autoLock = m_autoLock;
    std::atomic<qsizetype> done = 0;
    std::atomic<qsizetype> total = plan->entries.size();
    std::atomic<bool> stop = false;
    QTimer poll;
    poll.setInterval(kProgressPollMs);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (!progress.step(done, total))
            stop = true;
        if (done == total && progress.dialog.findChild<QPushButton *>()) {
            // The rewrite cannot be stopped halfway: it is one step, all or nothing.
            progress.dialog.setLabelText(import_text::writing());
            progress.dialog.setCancelButton(nullptr);
        }
    });
    poll.start();
    // Shown at once: while the worker runs, the window's own commands must not be reached.
    progress.dialog.show();
    const diary_import::Existing choice = dialog.existingChoice();
    diary_import::Outcome outcome;
    background::runAndWaitUnderDialog([&, key = keyCopy()] {
        TArchiveWriter writer;
        writer.SetKeepVersions(true);
        writer.SetZipName(diaryPath);
        outcome = diary_import::apply(*plan, writer, choice, key.get(), [&](qsizetype d, qsizetype t) {
            total = t;
            done = d;
            return !stop;
        });
    });
    poll.stop();
    progress.dialog.close();

    if (outcome.cancelled) {
        msgbox::show(this, QMessageBox::Information, import_text::caption(), import_text::cancelled());
        return;
    }
    QStringList text{import_text::done(int(outcome.added.size()), int(outcome.appended.size()),
                                       int(outcome.replaced.size()), int(outcome.skipped.size()))};
    if (!outcome.refused.isEmpty())
        text.append(import_text::leftAlone(daysText(outcome.refused)));
    if (!plan->refused.isEmpty())
        text.append(import_text::filesRefused(int(plan->refused.size())));
    if (!plan->skipped.isEmpty())
        text.append(import_text::entriesSkipped(int(plan->skipped.size())));
    ListEntries();
    msgbox::show(this, outcome.refused.isEmpty() ? QMessageBox::Information : QMessageBox::Warning,
                 import_text::caption(), text.join(u'\n'));
}
