// quillbook-tool diary ARCHIVE: the rows the list page shows for a diary, in the list page's
// order, one per line, UTF-8: entry name, weather word, mood word and summary, separated by tabs.
// Inside the fields a line break (CR LF, CR or LF) is written as "\n", a tab as "\t" and a
// backslash as "\\", so that every row stays one line of four fields. The entries are read with
// the diary password, whatever --password says. An entry that cannot be read has its row too
// (empty weather and mood, the reason as the summary) and a warning on standard error, in the
// same order; the status is then 1. An error of the archive, or a listing beyond its limit, ends
// the listing after the rows before it (in archive order), with the error on standard error and
// status 2.

#include "commands.h"

#include "archive/archive_reader.h"
#include "diary/diary_book.h"

namespace {

const QString kUsage = QStringLiteral("diary ARCHIVE");

// Why an entry cannot be read, for the warning.
QString problemName(diary::EntryProblem problem)
{
    switch (problem) {
    case diary::EntryProblem::None:
        break;
    case diary::EntryProblem::WrongPassword:
        return QStringLiteral("encrypted under another password");
    case diary::EntryProblem::Damaged:
        return QStringLiteral("damaged data");
    case diary::EntryProblem::NotADiary:
        return QStringLiteral("not a diary entry");
    case diary::EntryProblem::UnsupportedEncryption:
        return QStringLiteral("unsupported encryption");
    case diary::EntryProblem::UnknownMethod:
        return QStringLiteral("unknown compression method");
    case diary::EntryProblem::TooLarge:
        return QStringLiteral("larger than an entry may be");
    case diary::EntryProblem::Missing:
        return QStringLiteral("no such entry");
    case diary::EntryProblem::NotSealed:
        return QStringLiteral("not sealed with the diary key");
    }
    return QString();
}

QString field(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += QLatin1String("\\n");
        } else if (c == u'\t') {
            out += QLatin1String("\\t");
        } else if (c == u'\\') {
            out += QLatin1String("\\\\");
        } else {
            out += c;
        }
    }
    return out;
}

int diaryCommand(const ToolContext &, const QStringList &args)
{
    if (args.size() != 1) {
        toolError(QStringLiteral("usage: quillbook-tool ") + kUsage);
        return 2;
    }
    TArchiveReader reader;
    reader.SetZipName(args[0]);
    diary::Listing listing = diary::listEntries(reader);
    diary::sortRows(listing.rows);
    QByteArray out;
    for (const diary::ListRow &row : std::as_const(listing.rows)) {
        out += QStringList{field(row.name), field(row.weather), field(row.mood), field(row.summary)}
                   .join(QLatin1Char('\t'))
                   .toUtf8();
        out += '\n';
    }
    toolWrite(out);
    for (const diary::ListRow &row : std::as_const(listing.rows)) {
        if (!row.readable()) {
            toolError(QStringLiteral("warning: the entry \"%1\" cannot be read: %2")
                          .arg(row.name, problemName(row.problem)));
        }
    }
    listing.rethrowError();
    return listing.unreadableCount() > 0 ? 1 : 0;
}

} // namespace

QList<ToolCommand> diaryCommands()
{
    return {
        {QStringLiteral("diary"), kUsage, diaryCommand, false},
    };
}
