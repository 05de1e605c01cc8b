// quillbook-tool diary [--by-date] [--lunar] ARCHIVE: the rows the list page shows for a diary, one per
// line, in the order of their names as text, or with --by-date in the list page's order (newest
// first, names that are no dates last); UTF-8, UTF-8: entry name, weather word, mood word and summary, separated by tabs.
// With --lunar the lunar date (农历甲辰年正月初一; empty for a name that is no date) follows the
// name as a field of its own.
// Inside the fields a line break (CR LF, CR or LF) is written as "\n", a tab as "\t" and a
// backslash as "\\", so that every row stays one line of four fields. The entries of an old-format
// diary are read with the diary password, whatever --password says; a private diary is opened
// with its own password (readPassword in commands.h), and a wrong one is status 2.
//
// quillbook-tool search [--by-date] ARCHIVE TEXT [--weather W] [--mood M] [--from DATE]
// [--to DATE] [--tag T]...: the rows that a search on the list page finds (diary::SearchIndex),
// printed as diary prints them. W and M are list words (晴, 高兴) or indices; a DATE is
// yyyy-mm-dd or an entry name (2003年9月26日); T is a tag with or without its "#" (each --tag
// given must be among the entry's tags). An empty TEXT searches by the filters alone.
//
// quillbook-tool tags ARCHIVE: every tag of the diary's readable entries (words after "#",
// tags/tag_words.h), most used first: tag, entries, first and last day (yyyy-mm-dd, "-" when
// none of its entries is named by a date), separated by tabs.
//
// quillbook-tool protect ARCHIVE / unprotect ARCHIVE convert a diary to the private format and
// back, in one atomic rewrite (diary::protectDiary, diary::unprotectDiary, as the window does);
// protect prints the recovery code once, and how many copies of the diary in the old format
// (earlier versions, drafts) went with the conversion. Entries that cannot be read are carried over untouched, each with a
// warning, and the status is then 1. An entry that cannot be read has its row too
// (empty weather and mood, the reason as the summary) and a warning on standard error, in the
// same order; the status is then 1. An error of the archive, or a listing beyond its limit, ends
// the listing after the rows before it (in archive order), with the error on standard error and
// status 2.

#include "commands.h"

#include "accounts/messages.h"
#include "accounts/login.h"
#include "accounts/pass_cipher.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "crypto/recovery_code.h"
#include "diary/messages.h"
#include "platform/gbk.h"


#include <unistd.h>
#include "diary/diary_book.h"
#include "diary/row_order.h"
#include "diary/search.h"
#include "lunar/lunar_calendar.h"
#include "tags/tag_counts.h"
#include "templates/templates.h"

namespace {

const QString kUsage = QStringLiteral("diary [--by-date] [--lunar] ARCHIVE");
const QString kSearchUsage = QStringLiteral(
    "search [--by-date] ARCHIVE TEXT [--weather W] [--mood M] [--from DATE] [--to DATE] [--tag T]...");
const QString kTagsUsage = QStringLiteral("tags ARCHIVE");

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

// Appends the text as one field of a line: line breaks (CR LF, CR, LF), tabs and backslashes
// escaped. The runs between them are appended whole.
void appendField(QString &out, QStringView text)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c != u'\r' && c != u'\n' && c != u'\t' && c != u'\\')
            continue;
        out.append(text.sliced(start, i - start));
        if (c == u'\t') {
            out += QLatin1String("\\t");
        } else if (c == u'\\') {
            out += QLatin1String("\\\\");
        } else {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += QLatin1String("\\n");
        }
        start = i + 1;
    }
    out.append(text.sliced(start));
}

QString field(const QString &text)
{
    QString out;
    out.reserve(text.size());
    appendField(out, text);
    return out;
}

// The key of a private diary, its password read as readPassword() says; nullopt (with the
// message on standard error) for a wrong password.
std::optional<DiaryKey> unlock(const ToolContext &context, const PrivateHeader &header)
{
    std::optional<DiaryKey> key = header.unlock(readPassword(context, QStringLiteral("Password: ")));
    if (!key)
        toolError(accounts_text::kWrongPassword);
    return key;
}

// Takes the flag out of args; true when it was there.
bool takeFlag(QStringList &args, const QString &flag)
{
    return args.removeAll(flag) > 0;
}

// The listing of the archive, the rows in the order asked for; nullopt when a private diary's
// password is wrong (said on standard error).
std::optional<diary::Listing> listDiary(const ToolContext &context, const QString &archive, bool byDate,
                                        diary::SearchFolding folding = diary::SearchFolding::Made)
{
    TArchiveReader reader;
    reader.SetZipName(archive);
    std::optional<DiaryKey> key;
    if (const std::optional<PrivateHeader> header = diary::privateHeaderOf(reader)) {
        key = unlock(context, *header);
        if (!key)
            return std::nullopt;
    }
    diary::Listing listing = diary::listEntries(reader, key ? &*key : nullptr, nullptr, folding);
    if (byDate)
        diary::sortRows(listing.rows, diary::RowOrder{});
    else
        diary::sortRowsByName(listing.rows);
    return listing;
}

// Prints the rows (with lunar, each name's lunar date after it), warns of those that cannot be
// read, raises the listing's error; the status.
int printRows(const diary::Listing &listing, const QList<diary::ListRow> &rows, bool lunar = false)
{
    // One text for all the lines, made UTF-8 at once.
    QString text;
    for (const diary::ListRow &row : rows) {
        appendField(text, row.name);
        text += QLatin1Char('\t');
        if (lunar)
            text += field(lunar::fullText(diary::dateOfName(row.name))) + QLatin1Char('\t');
        appendField(text, row.weather);
        text += QLatin1Char('\t');
        appendField(text, row.mood);
        text += QLatin1Char('\t');
        appendField(text, row.summary);
        text += QLatin1Char('\n');
    }
    toolWrite(text.toUtf8());
    int unreadable = 0;
    for (const diary::ListRow &row : rows) {
        if (!row.readable()) {
            ++unreadable;
            toolError(QStringLiteral("warning: the entry \"%1\" cannot be read: %2")
                          .arg(row.name, problemName(row.problem)));
        }
    }
    listing.rethrowError();
    return unreadable > 0 ? 1 : 0;
}

int diaryCommand(const ToolContext &context, const QStringList &arguments)
{
    QStringList args = arguments;
    const bool byDate = takeFlag(args, QStringLiteral("--by-date"));
    const bool lunar = takeFlag(args, QStringLiteral("--lunar"));
    if (args.size() != 1) {
        toolError(QStringLiteral("usage: quillbook-tool ") + kUsage);
        return 2;
    }
    const std::optional<diary::Listing> listing = listDiary(context, args[0], byDate, diary::SearchFolding::Left);
    if (!listing)
        return 2;
    return printRows(*listing, listing->rows, lunar);
}

QString isoDate(const QDate &date)
{
    return date.isValid() ? date.toString(Qt::ISODate) : QStringLiteral("-");
}

int tagsCommand(const ToolContext &context, const QStringList &args)
{
    if (args.size() != 1) {
        toolError(QStringLiteral("usage: quillbook-tool ") + kTagsUsage);
        return 2;
    }
    const std::optional<diary::Listing> listing = listDiary(context, args[0], false, diary::SearchFolding::Left);
    if (!listing)
        return 2;
    QByteArray out;
    for (const tags::TagCount &count : tags::countTags(listing->rows)) {
        out += QStringList{field(count.tag), QString::number(count.entries), isoDate(count.first), isoDate(count.last)}
                   .join(QLatin1Char('\t'))
                   .toUtf8();
        out += '\n';
    }
    toolWrite(out);
    listing->rethrowError();
    return 0;
}

// A weather or mood given as its list word or its index; -2 for neither.
int wordIndex(const QString &given, int (*indexOf)(const QString &), int count)
{
    bool number = false;
    const int index = given.toInt(&number);
    if (number)
        return index >= 0 && index < count ? index : -2;
    const int found = indexOf(given);
    return found >= 0 ? found : -2;
}

QDate dateArgument(const QString &given)
{
    const QDate date = QDate::fromString(given, Qt::ISODate);
    return date.isValid() ? date : diary::dateOfName(given);
}

int searchCommand(const ToolContext &context, const QStringList &arguments)
{
    QStringList args = arguments;
    const bool byDate = takeFlag(args, QStringLiteral("--by-date"));
    diary::SearchQuery query;
    QStringList positional;
    QString bad;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool option = arg == QLatin1String("--weather") || arg == QLatin1String("--mood")
                            || arg == QLatin1String("--from") || arg == QLatin1String("--to")
                            || arg == QLatin1String("--tag");
        if (!option) {
            positional.append(arg);
            continue;
        }
        if (i + 1 >= args.size()) {
            bad = arg;
            break;
        }
        const QString value = args[++i];
        if (arg == QLatin1String("--tag")) {
            const QString tag = value.startsWith(u'#') || value.startsWith(u'\uFF03') ? value.mid(1) : value;
            if (tag.isEmpty()) {
                toolError(QStringLiteral("%1: not understood: %2").arg(arg, value));
                return 2;
            }
            query.tags.append(tag);
            continue;
        }
        if (arg == QLatin1String("--weather"))
            query.weather = wordIndex(value, diary::weatherIndexOf, diary::kWeatherCount);
        else if (arg == QLatin1String("--mood"))
            query.mood = wordIndex(value, diary::moodIndexOf, diary::kMoodCount);
        else if (arg == QLatin1String("--from"))
            query.from = dateArgument(value);
        else
            query.to = dateArgument(value);
        const bool valid = arg == QLatin1String("--weather") ? query.weather >= 0
                           : arg == QLatin1String("--mood")  ? query.mood >= 0
                           : arg == QLatin1String("--from")  ? query.from.isValid()
                                                             : query.to.isValid();
        if (!valid) {
            toolError(QStringLiteral("%1: not understood: %2").arg(arg, value));
            return 2;
        }
    }
    if (!bad.isEmpty() || positional.size() != 2) {
        toolError(QStringLiteral("usage: quillbook-tool ") + kSearchUsage);
        return 2;
    }
    query.text = positional[1];
    const std::optional<diary::Listing> listing = listDiary(context, positional[0], byDate);
    if (!listing)
        return 2;
    const diary::SearchIndex index(listing->rows);
    QList<diary::ListRow> found;
    for (const qsizetype i : index.find(query))
        found.append(listing->rows[i]);
    return printRows(*listing, found);
}

void reportCarried(const diary::Conversion &report)
{
    for (const auto &[name, problem] : report.carried) {
        toolError(QStringLiteral("warning: the entry \"%1\" cannot be read (%2); it was carried over as it is")
                      .arg(gbk::decode(name), problemName(problem)));
    }
}

// Makes an old-format diary private under a password (asked for twice on a terminal) and prints
// the recovery code, once.
int protectCommand(const ToolContext &context, const QStringList &args)
{
    if (args.size() != 1) {
        toolError(QStringLiteral("usage: quillbook-tool protect ARCHIVE"));
        return 2;
    }
    const QString password = readPassword(context, QStringLiteral("New password: "));
    if (!context.passwordGiven && context.passwordFile.isEmpty() && isatty(STDIN_FILENO)
        && readPassword(context, QStringLiteral("Again: ")) != password) {
        toolError(QStringLiteral("The two passwords differ; nothing was changed"));
        return 2;
    }
    const DiaryKey key = DiaryKey::generate();
    const QString code = recovery_code::generate();
    const PrivateHeader header = PrivateHeader::create(key, password, code);
    TArchiveWriter writer;
    writer.SetZipName(args[0]);
    const diary::Conversion report = diary::protectDiary(writer, header, key);
    templates::reseal(args[0], nullptr, &key);
    toolPrint(QStringLiteral("Recovery code (shown only this once; keep it safe): %1").arg(code));
    if (report.removedCopies > 0) {
        toolPrint(QStringLiteral("%1 older copies of the diary in the old format were removed "
                                 "(earlier versions, drafts, unfinished saves)")
                      .arg(report.removedCopies));
    }
    reportCarried(report);
    return report.carried.isEmpty() ? 0 : 1;
}

// Turns a private diary back into the old format; its login token is made from the password.
int unprotectCommand(const ToolContext &context, const QStringList &args)
{
    if (args.size() != 1) {
        toolError(QStringLiteral("usage: quillbook-tool unprotect ARCHIVE"));
        return 2;
    }
    TArchiveWriter writer;
    writer.SetZipName(args[0]);
    const std::optional<PrivateHeader> header = diary::privateHeaderOf(writer);
    if (!header) {
        toolError(diary_text::notPrivate());
        return 2;
    }
    const QString password = readPassword(context, QStringLiteral("Password: "));
    const std::optional<DiaryKey> key = header->unlock(password);
    if (!key) {
        toolError(accounts_text::kWrongPassword);
        return 2;
    }
    // The old format's login recomputes the token under the program's one salt and compares.
    const QByteArray salt = accounts::kPasswordSalt.toLatin1();
    const QByteArray token = passwordToken(gbk::encodeOrThrow(password, QStringLiteral("password")), salt);
    const diary::Conversion report = diary::unprotectDiary(writer, *key, token);
    templates::reseal(args[0], &*key, nullptr);
    reportCarried(report);
    return report.carried.isEmpty() ? 0 : 1;
}

} // namespace

QList<ToolCommand> diaryCommands()
{
    return {
        {QStringLiteral("diary"), kUsage, diaryCommand, false},
        {QStringLiteral("search"), kSearchUsage, searchCommand, false},
        {QStringLiteral("tags"), kTagsUsage, tagsCommand, false},
        {QStringLiteral("protect"), QStringLiteral("protect ARCHIVE"), protectCommand, false},
        {QStringLiteral("unprotect"), QStringLiteral("unprotect ARCHIVE"), unprotectCommand, false},
    };
}
