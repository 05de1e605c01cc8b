#include "sync/sync_texts.h"

#include "platform/gbk.h"

#include <QFileInfo>

namespace sync_text {
namespace {

QString days(const QList<QByteArray> &names)
{
    QStringList shown;
    for (const QByteArray &name : names)
        shown.append(gbk::decode(name));
    return shown.join(QStringLiteral("、"));
}

QString fileName(const QString &path) { return QFileInfo(path).fileName(); }

} // namespace

QString stampText(const syncing::ConflictName &name)
{
    const QDate day = name.stamp.date();
    QString text = QStringLiteral("%1年%2月%3日").arg(day.year()).arg(day.month()).arg(day.day());
    if (name.hasTime)
        text += u' ' + name.stamp.time().toString(QStringLiteral("HH:mm"));
    return text;
}

QString copyNotice(const syncing::CopySummary &summary)
{
    QStringList parts;
    if (!summary.onlyInCopy.isEmpty())
        parts.append(QStringLiteral("%1 篇只在副本里").arg(summary.onlyInCopy.size()));
    if (!summary.differing.isEmpty())
        parts.append(QStringLiteral("%1 篇两边不同").arg(summary.differing.size()));
    const QString what = parts.isEmpty() ? QStringLiteral("副本里的日记这里都有") : parts.join(QStringLiteral("，"));
    return QStringLiteral("发现这本日记在另一台电脑上的副本（%1）：%2。").arg(stampText(summary.copy.name), what);
}

QString mergeReportText(const syncing::MergeReport &report)
{
    QStringList lines;
    if (!report.taken.isEmpty())
        lines.append(QStringLiteral("从副本取回了%1篇日记：%2。").arg(report.taken.size()).arg(days(report.taken)));
    if (!report.bothChanged.isEmpty()) {
        QList<QByteArray> names;
        for (const syncing::SetAside &aside : report.bothChanged)
            names.append(aside.name);
        lines.append(QStringLiteral("%1篇两边都改过，保留了后写的那份，另一份留在历史版本里：%2。")
                         .arg(names.size())
                         .arg(days(names)));
    }
    if (!report.deletedThere.isEmpty()) {
        lines.append(QStringLiteral("%1篇在一台电脑上删除了、另一台没有改动，合并后不再保留：%2。")
                         .arg(report.deletedThere.size())
                         .arg(days(report.deletedThere)));
    }
    if (!report.keptChanged.isEmpty()) {
        lines.append(QStringLiteral("%1篇在一台电脑上删除了、另一台却改过，保留了改过的那份：%2。")
                         .arg(report.keptChanged.size())
                         .arg(days(report.keptChanged)));
    }
    if (!report.keptUndecided.isEmpty()) {
        lines.append(QStringLiteral("%1篇只在一边，看不出是另一台电脑删除了它还是从来没有，已经保留：%2。")
                         .arg(report.keptUndecided.size())
                         .arg(days(report.keptUndecided)));
    }
    if (!report.unreadable.isEmpty()) {
        lines.append(QStringLiteral("%1篇无法读取，保持原样：%2。").arg(report.unreadable.size()).arg(days(report.unreadable)));
    }
    for (const QString &path : report.commentDropped) {
        lines.append(QStringLiteral("“%1”所用的密码已经打不开合并后的日记了：请在各台电脑上都用这里的密码登录。")
                         .arg(fileName(path)));
    }
    if (lines.isEmpty())
        lines.append(QStringLiteral("副本里的日记这里都有，日记没有变化。"));
    lines.append(QStringLiteral("合并前的日记和副本都留在历史版本里。"));
    return lines.join(u'\n');
}

QString privateCopyOfPlainDiary(const QString &copyPath, const QString &diaryPath)
{
    return QStringLiteral("副本“%1”已经加密，日记“%2”却没有加密，两者不能合并；副本原样保留")
        .arg(copyPath, diaryPath);
}

QString otherKey(const QString &copyPath, const QString &diaryPath)
{
    return QStringLiteral("副本“%1”和日记“%2”是各自单独加密的，密钥不同，不能合并；副本原样保留")
        .arg(copyPath, diaryPath);
}

QString needsPassword(const QString &diaryPath)
{
    return QStringLiteral("合并加密的日记“%1”需要它的密码").arg(diaryPath);
}

} // namespace sync_text
