#include "sync/conflict_names.h"

#include <QRegularExpression>

namespace syncing {
namespace {

// Each pattern matches the outermost part at the end of the name; group "ext" is the extension
// the program kept at the very end. The part before (group "name") is greedy, so that of a
// nested name the last part is taken.
struct Pattern {
    SyncProgram program;
    QRegularExpression expression;
    const char *dateFormat;
};

const Pattern *patterns()
{
    static const Pattern all[] = {
        {SyncProgram::Syncthing,
         QRegularExpression(QStringLiteral(
             R"(^(?<name>.+)\.sync-conflict-(?<date>\d{8})-(?<time>\d{6})-(?<origin>[A-Z0-9]{7})(?<ext>\.[^.]+)?$)")),
         "yyyyMMdd"},
        {SyncProgram::Nextcloud,
         QRegularExpression(QStringLiteral(
             R"(^(?<name>.+) \(conflicted copy (?:(?<origin>.+) )?(?<date>\d{4}-\d{2}-\d{2}) (?<time>\d{6})\)(?<ext>\.[^.]+)?$)")),
         "yyyy-MM-dd"},
        {SyncProgram::Nextcloud,
         QRegularExpression(QStringLiteral(
             R"(^(?<name>.+)_conflict-(?<date>\d{8})-(?<time>\d{6})(?<ext>\.[^.]+)?$)")),
         "yyyyMMdd"},
        {SyncProgram::Dropbox,
         QRegularExpression(QStringLiteral(
             R"(^(?<name>.+) \((?<origin>.+)'s conflicted copy (?<date>\d{4}-\d{2}-\d{2})\)(?: \(\d+\))?(?<ext>\.[^.]+)?$)")),
         nullptr},
    };
    return all;
}
constexpr int kPatternCount = 4;

std::optional<ConflictName> parseOne(const QString &fileName)
{
    for (int i = 0; i < kPatternCount; ++i) {
        const Pattern &p = patterns()[i];
        const QRegularExpressionMatch m = p.expression.match(fileName);
        if (!m.hasMatch())
            continue;
        const QDate date = QDate::fromString(m.captured(u"date"),
                                             p.dateFormat ? QString::fromLatin1(p.dateFormat)
                                                          : QStringLiteral("yyyy-MM-dd"));
        const QString timeText = m.captured(u"time");
        const QTime time = timeText.isEmpty() ? QTime(0, 0) : QTime::fromString(timeText, QStringLiteral("HHmmss"));
        if (!date.isValid() || !time.isValid())
            continue;
        ConflictName name;
        name.original = m.captured(u"name") + m.captured(u"ext");
        name.program = p.program;
        name.stamp = QDateTime(date, time);
        name.hasTime = !timeText.isEmpty();
        name.origin = m.captured(u"origin");
        return name;
    }
    return std::nullopt;
}

} // namespace

std::optional<ConflictName> parseConflictName(const QString &fileName)
{
    std::optional<ConflictName> outer = parseOne(fileName);
    if (!outer)
        return std::nullopt;
    // A copy of a copy: the original is what is left without any part. Each round shortens
    // the name, so this ends.
    while (const std::optional<ConflictName> inner = parseOne(outer->original))
        outer->original = inner->original;
    return outer;
}

} // namespace syncing
