// quillbook-tool commands on a diary archive: list, extract, add, delete, comment, verify. add and
// delete keep the diary as it was as a version first; on a private diary they ask for its
// password (readPassword), add seals the entry with the diary key, and comment refuses it.
// Entry names and comments are UTF-8 on the command line and GBK inside the archive; a name is
// shown with "/" between directory and file name, as the archive stores it.

#include "commands.h"

#include "accounts/messages.h"
#include "archive/archive_errors.h"
#include "archive/archive_lock.h"
#include "archive/archive_writer.h"
#include "archive/zip_records.h"
#include "crypto/entry_seal.h"
#include "crypto/private_header.h"
#include "diary/record_limit.h"
#include "platform/files.h"
#include "platform/gbk.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>

#include <cstdio>
#include <cstring>

namespace {

QString shownName(const QByteArray &path)
{
    return gbk::decode(path).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

// The name as list prints it: decoded as the entry stores it (UTF-8 or GBK), "/" between
// directories.
QString shownName(TArchiveReader &reader, int index)
{
    return reader.EntryPathText(index).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

using private_format::kPrivateMethod;

int usageError(const QString &usage)
{
    toolError(QStringLiteral("usage: quillbook-tool ") + usage);
    return 2;
}

void aim(TArchiveReader &reader, const ToolContext &context, const QString &path)
{
    reader.SetZipName(path);
    reader.SetPassword(context.password);
}

// Opens the archive and insists that it is one (OpenArchive alone treats a file without an end
// record as an archive without entries).
void openExisting(TArchiveReader &reader, const ToolContext &context, const QString &path)
{
    aim(reader, context, path);
    reader.OpenArchive();
    if (!reader.HasDirectory())
        throw EIncompleteZip(archive_text::kIncompleteZip);
}

QString failureText(ExtractFailure why)
{
    switch (why) {
    case ExtractFailure::WrongPassword:
        return QStringLiteral("wrong password");
    case ExtractFailure::CrcMismatch:
        return QStringLiteral("CRC error");
    case ExtractFailure::UnknownMethod:
        return QStringLiteral("unknown compression method");
    case ExtractFailure::LargerThanRecorded:
        return archive_text::kBiggerThanUncompressed;
    case ExtractFailure::UnsupportedEncryption:
        return QStringLiteral("unsupported encryption");
    }
    return {};
}

int listEntries(const ToolContext &context, const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("list ARCHIVE"));
    TArchiveReader &reader = untilExit<TArchiveReader>();
    openExisting(reader, context, args[0]);
    QByteArray out;
    for (int i = 0; i < reader.EntryCount(); ++i)
        out += shownName(reader, i).toUtf8() + '\n';
    toolWrite(out);
    // Every entry found is listed; what the directory's records disagree about is said beside.
    if (!reader.DirectoryProblem().isEmpty())
        toolError(QStringLiteral("warning: ") + args[0] + QStringLiteral(": ") + reader.DirectoryProblem());
    return 0;
}

// extract on a private diary: the entries chosen as for the old format (the one named exactly so,
// else those the pattern matches ignoring case), each opened with the diary key that the password
// unwraps, in memory only. A wrong password is status 2 and writes nothing.
int extractPrivate(const ToolContext &context, TArchiveReader &reader, const QString &name)
{
    const PrivateHeader header = PrivateHeader::parse(reader.ArchiveCommentBytes());
    const std::optional<DiaryKey> key = header.unlock(readPassword(context, QStringLiteral("Password: ")));
    if (!key) {
        toolError(accounts_text::kWrongPassword);
        return 2;
    }
    QList<int> chosen;
    for (int i = 0; i < reader.EntryCount(); ++i) {
        if (shownName(reader, i) == name)
            chosen.append(i);
    }
    if (chosen.size() > 1) {
        toolError(name + QStringLiteral(": more than one entry has this very name"));
        return 1;
    }
    if (chosen.isEmpty()) {
        const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(name),
                                         QRegularExpression::CaseInsensitiveOption);
        for (int i = 0; i < reader.EntryCount(); ++i) {
            if (pattern.match(shownName(reader, i)).hasMatch())
                chosen.append(i);
        }
    }
    if (chosen.isEmpty()) {
        toolError(name + QStringLiteral(": no such entry"));
        return 1;
    }
    QByteArray out;
    int failed = 0;
    for (int i : std::as_const(chosen)) {
        QByteArray payload;
        ExtractFailure why;
        if (reader.Entry(i).method != kPrivateMethod) {
            toolError(shownName(reader, i) + QStringLiteral(": not sealed with the diary key"));
            ++failed;
            continue;
        }
        if (!reader.ExtractStoredData(i, payload, &why)) {
            toolError(shownName(reader, i) + QStringLiteral(": ") + failureText(why));
            ++failed;
            continue;
        }
        const entry_seal::OpenResult opened = entry_seal::open(*key, reader.Entry(i).diskName(), payload);
        if (opened.status != entry_seal::OpenStatus::Opened) {
            toolError(shownName(reader, i) + QStringLiteral(": ") + entry_seal::describe(opened.status));
            ++failed;
            continue;
        }
        out += opened.record;
    }
    toolWrite(out);
    return failed ? 1 : 0;
}

int extractEntry(const ToolContext &context, const QStringList &args)
{
    if (args.size() != 2)
        return usageError(QStringLiteral("extract ARCHIVE NAME"));
    TArchiveReader &reader = untilExit<TArchiveReader>();
    aim(reader, context, args[0]);
    // The entry list prints, named exactly so: that one alone, even when others carry the
    // same name in other letter case. Otherwise the name is a pattern, matched ignoring case.
    if (files::exists(args[0]))
        reader.OpenArchive();
    if (PrivateHeader::isPrivate(reader.ArchiveCommentBytes()))
        return extractPrivate(context, reader, args[1]);
    int exact = -1;
    for (int i = 0; i < reader.EntryCount(); ++i) {
        if (shownName(reader, i) == args[1]) {
            exact = exact < 0 ? i : -2;
            if (exact == -2)
                break;
        }
    }
    if (exact == -2) {
        toolError(args[1] + QStringLiteral(": more than one entry has this very name"));
        return 1;
    }
    QByteArray data;
    if (exact >= 0) {
        ExtractFailure why;
        if (!reader.ExtractEntry(exact, data, &why)) {
            toolError(args[1] + QStringLiteral(": ") + failureText(why));
            return 1;
        }
        toolWrite(data);
        return 0;
    }
    QList<EntryFailure> failures;
    if (reader.ExtractToBytes(args[1], data, &failures) == 0) {
        if (failures.isEmpty())
            toolError(args[1] + QStringLiteral(": no such entry"));
        for (const EntryFailure &f : failures)
            toolError(shownName(f.name) + QStringLiteral(": ") + failureText(f.reason));
        return 1;
    }
    toolWrite(data);
    return 0;
}

// The entry's bytes from the file, or from standard input when no file is named; no more than
// one record may hold.
QByteArray entryBytes(const QStringList &args)
{
    QByteArray bytes;
    if (args.size() == 3) {
        const files::ReadFile file = files::readRegularFile(args[2], diary_limits::kMaxRecordSize);
        if (file.refusal == files::ReadFile::Refusal::TooLarge)
            throw EArchiveLimit(diary_limits::recordTooLarge(args[2]));
        if (!file.ok()) {
            const QString why = file.refusal == files::ReadFile::Refusal::NotARegularFile
                                    ? QStringLiteral("It is not a regular file")
                                    : QString::fromLocal8Bit(std::strerror(file.error));
            throw EFOpenError(QString(archive_text::kCannotOpen).arg(args[2], why));
        }
        return file.bytes;
    }
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        throw EFOpenError(QString(archive_text::kCannotOpen).arg(QStringLiteral("-"), input.errorString()));
    bytes = input.read(diary_limits::kMaxRecordSize + 1);
    if (bytes.size() > diary_limits::kMaxRecordSize)
        throw EArchiveLimit(diary_limits::recordTooLarge(QStringLiteral("-")));
    return bytes;
}

// add on a private diary: the record sealed with the diary key under the name it is stored by,
// as every save of the diary stores it. An entry of that name that does not open with the key
// (damaged, of the old format, sealed under another key) is not replaced.
int addPrivate(TArchiveWriter &writer, const DiaryKey &key, const QString &name, const QByteArray &record)
{
    const QByteArray memoryName = zip::toMemoryName(gbk::encodeOrThrow(name, QStringLiteral("entry name")));
    const QByteArray stored = memoryName.mid(zip::fileNameStart(memoryName));
    ArchiveLock lock(writer.ZipName(), ArchiveLock::Exclusive);
    writer.OpenArchive();
    for (int i = 0; i < writer.EntryCount(); ++i) {
        if (zip::compareFolded(writer.EntryPathBytes(i), stored) != 0)
            continue;
        QByteArray payload;
        ExtractFailure why;
        QString problem;
        if (writer.Entry(i).method != kPrivateMethod) {
            problem = QStringLiteral("not sealed with the diary key");
        } else if (!writer.ExtractStoredData(i, payload, &why)) {
            problem = failureText(why);
        } else {
            const entry_seal::OpenStatus status = entry_seal::open(key, writer.Entry(i).diskName(), payload).status;
            if (status != entry_seal::OpenStatus::Opened)
                problem = entry_seal::describe(status);
        }
        if (!problem.isEmpty()) {
            toolError(QStringLiteral("%1: the entry cannot be read (%2); it was not replaced")
                          .arg(shownName(writer, i), problem));
            return 1;
        }
    }
    writer.AddFromStreams({{stored, nullptr, kPrivateMethod, entry_seal::seal(key, stored, record)}});
    return 0;
}

// Both writing commands keep the diary as it was as a version first, as the window's delete does.
int addEntry(const ToolContext &context, const QStringList &args)
{
    if (args.size() != 2 && args.size() != 3)
        return usageError(QStringLiteral("add ARCHIVE NAME [FILE]"));
    TArchiveWriter &writer = untilExit<TArchiveWriter>();
    aim(writer, context, args[0]);
    writer.SetKeepVersionAlways(true);
    const DiaryAccess access = unlockDiary(context, writer, args.size() == 2);
    if (access.refused)
        return 2;
    const QByteArray record = entryBytes(args);
    if (access.isPrivate)
        return addPrivate(writer, *access.key, args[1], record);
    QByteArray bytes = record;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    writer.AddFromStream(args[1], buffer);
    return 0;
}

int deleteEntry(const ToolContext &context, const QStringList &args)
{
    if (args.size() != 2)
        return usageError(QStringLiteral("delete ARCHIVE NAME"));
    TArchiveWriter &writer = untilExit<TArchiveWriter>();
    openExisting(writer, context, args[0]);
    writer.SetKeepVersions(true);
    // A private diary's entries are changed only by who holds its password.
    if (unlockDiary(context, writer).refused)
        return 2;
    ArchiveLock lock(writer.ZipName(), ArchiveLock::Exclusive);
    writer.OpenArchive();
    writer.ClearSelection();
    for (int i = 0; i < writer.EntryCount(); ++i) {
        if (shownName(writer, i) == args[1])
            writer.SelectEntry(i, true);
    }
    if (writer.SelectedCount() == 0) {
        toolError(args[1] + QStringLiteral(": no such entry"));
        return 1;
    }
    writer.DeleteSelected();
    return 0;
}

// The comment of an old-format diary is its login token; a private diary's is its private
// header, which holds the key every entry is sealed with and is changed only by the commands
// that know it (protect, unprotect, and the window's password changes). Neither is set to a
// private header here.
int archiveComment(const ToolContext &context, const QStringList &args)
{
    if (args.size() != 1 && args.size() != 2)
        return usageError(QStringLiteral("comment ARCHIVE [TEXT]"));
    TArchiveWriter &writer = untilExit<TArchiveWriter>();
    aim(writer, context, args[0]);
    if (args.size() == 1) {
        writer.OpenArchive();
        toolPrint(writer.ArchiveComment());
        return 0;
    }
    const QByteArray text = gbk::encodeOrThrow(args[1], QStringLiteral("archive comment"));
    if (PrivateHeader::isPrivate(text)) {
        toolError(QStringLiteral("A private header is made by \"protect\" only; the comment was not changed"));
        return 2;
    }
    ArchiveLock lock(writer.ZipName(), ArchiveLock::Exclusive);
    // Fetch the stored comment first, so that setting an empty one replaces it.
    if (files::exists(args[0])) {
        writer.OpenArchive();
        if (PrivateHeader::isPrivate(writer.ArchiveCommentBytes())) {
            toolError(QStringLiteral("%1 is a private diary: its comment holds the key to every entry "
                                     "and is not changed here (see protect, unprotect)")
                          .arg(args[0]));
            return 2;
        }
    }
    writer.SetArchiveCommentBytes(text);
    writer.WriteArchive();
    return 0;
}


int verifyArchive(const ToolContext &context, const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("verify ARCHIVE"));
    TArchiveReader &reader = untilExit<TArchiveReader>();
    openExisting(reader, context, args[0]);
    int failed = 0;
    auto report = [&](const QString &what, const QString &why) {
        toolPrint(what + QStringLiteral(": ") + why);
        ++failed;
    };
    // A directory that disagrees with its end record may hide entries: the archive fails even
    // when every entry listed reads well.
    if (!reader.DirectoryProblem().isEmpty())
        report(args[0], reader.DirectoryProblem());
    // A private diary's entries are sealed: without the password only their stored bytes can be
    // checked (their CRC and sizes), not what they hold.
    const bool isPrivate = PrivateHeader::isPrivate(reader.ArchiveCommentBytes());
    // By place, not by name: names equal but for letter case would each choose all the others.
    for (int i = 0; i < reader.EntryCount(); ++i) {
        if (reader.EntryNameBytes(i).isEmpty())
            continue;
        QByteArray data;
        try {
            ExtractFailure why;
            const bool sealed = isPrivate && reader.Entry(i).method == kPrivateMethod;
            if (!(sealed ? reader.ExtractStoredData(i, data, &why) : reader.ExtractEntry(i, data, &why)))
                report(shownName(reader, i), failureText(why));
        } catch (const Exception &e) {
            // A damaged entry ends its own check, not the whole run.
            report(shownName(reader, i), e.message());
        }
    }
    if (isPrivate) {
        toolPrint(QStringLiteral("%1: private diary: the structure and every entry's stored bytes were "
                                 "checked; the contents could not be checked without the password")
                      .arg(args[0]));
    }
    return failed ? 1 : 0;
}

} // namespace

QList<ToolCommand> archiveCommands()
{
    return {
        {QStringLiteral("list"), QStringLiteral("list ARCHIVE"), listEntries, false},
        {QStringLiteral("extract"), QStringLiteral("extract ARCHIVE NAME"), extractEntry, false},
        {QStringLiteral("add"), QStringLiteral("add ARCHIVE NAME [FILE]"), addEntry, false},
        {QStringLiteral("delete"), QStringLiteral("delete ARCHIVE NAME"), deleteEntry, false},
        {QStringLiteral("comment"), QStringLiteral("comment ARCHIVE [TEXT]"), archiveComment, false},
        {QStringLiteral("verify"), QStringLiteral("verify ARCHIVE"), verifyArchive, false},
    };
}
