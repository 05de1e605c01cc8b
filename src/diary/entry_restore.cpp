#include "diary/entry_restore.h"

#include "archive/archive_lock.h"
#include "archive/archive_writer.h"
#include "crypto/private_header.h"
#include "diary/messages.h"
#include "platform/exception.h"
#include "platform/files.h"

#include <QScopeGuard>

namespace diary {

namespace {

// For the writes of one restore: the diary kept before it, the version read from spared.
auto restoringFrom(TArchiveWriter &writer, const QString &versionPath)
{
    const QString before = writer.RestoringFrom();
    writer.SetRestoringFrom(versionPath);
    return qScopeGuard([&writer, before] { writer.SetRestoringFrom(before); });
}

} // namespace

RestoreOutcome restoreEntries(const QString &versionPath, TArchiveWriter &writer,
                              const QList<QByteArray> &names, const DiaryKey *key)
{
    RestoreOutcome outcome;
    TArchiveReader version;
    version.SetZipName(versionPath);
    QList<BatchEntry> batch;
    extractEntries(version, names, key, [&](qsizetype i, QByteArray record, EntryProblem problem) {
        if (problem == EntryProblem::None)
            problem = recordProblem(record);
        if (problem == EntryProblem::None)
            batch.append({names[i], std::move(record)});
        else
            outcome.refused.append({names[i], problem});
    });
    if (batch.isEmpty())
        return outcome;
    const auto restoring = restoringFrom(writer, versionPath);
    const BatchOutcome stored =
        storeEntries(writer, batch, [](const QByteArray &, const QByteArray &incoming) { return incoming; }, key);
    for (const BatchEntry &entry : std::as_const(batch)) {
        if (stored.added.contains(entry.nameBytes) || stored.merged.contains(entry.nameBytes))
            outcome.restored.append(entry.nameBytes);
    }
    outcome.refused += stored.refused;
    return outcome;
}

EntryProblem restoreEntry(const QString &versionPath, TArchiveWriter &writer,
                          const QByteArray &nameBytes, const DiaryKey *key)
{
    const RestoreOutcome outcome = restoreEntries(versionPath, writer, {nameBytes}, key);
    return outcome.refused.isEmpty() ? EntryProblem::None : outcome.refused.first().second;
}

void restoreWhole(const QString &versionPath, TArchiveWriter &writer, const DiaryKey *key)
{
    ArchiveLock lock(writer.ZipName(), ArchiveLock::Exclusive);
    TArchiveReader version;
    version.SetZipName(versionPath);
    version.OpenArchive();
    const bool versionIsPrivate = version.HasDirectory() && PrivateHeader::isPrivate(version.ArchiveCommentBytes());
    // The diary's login (its token, or its private header) stays as it is now.
    std::optional<QByteArray> login;
    if (files::exists(writer.ZipName())) {
        // A diary too damaged to be read is what a whole restore is for: it takes the version's
        // login and format then.
        try {
            writer.OpenArchive();
            if (writer.HasDirectory())
                login = writer.ArchiveCommentBytes();
        } catch (const Exception &) {
        }
    }
    if (login) {
        const bool diaryIsPrivate = PrivateHeader::isPrivate(*login);
        if (diaryIsPrivate && !key)
            throw EDiaryFormat(diary_text::needsKey());
        if (!diaryIsPrivate && key)
            throw EDiaryFormat(diary_text::headerGone());
        if (diaryIsPrivate != versionIsPrivate)
            throw EDiaryFormat(diary_text::versionOfOtherFormat());
    }
    const auto restoring = restoringFrom(writer, versionPath);
    writer.ReplaceWith(versionPath, login);
}

} // namespace diary
