#pragma once

#include "platform/exception.h"

#include <QString>

// The errors of exporting and the texts the export shows, exactly as the program shows them.

// An output file or folder that cannot be written.
class EExportWrite : public Exception { using Exception::Exception; };

namespace export_text {

inline QString cannotWrite(const QString &path) { return QStringLiteral("无法写入文件“%1”").arg(path); }
inline QString cannotMakeFolder(const QString &path) { return QStringLiteral("无法创建文件夹“%1”").arg(path); }
// An output path that is a symbolic link another user made, or one leading into another user's
// folder (or to nothing): never written through.
inline QString linkRefused(const QString &path)
{
    return QStringLiteral("“%1”是一个符号链接，由别的用户建立或指向别人的文件夹，为免改写别处的文件，没有写入").arg(path);
}
// The heading of the file: 「羽书手札 · 张三 的日记」.
inline QString title(const QString &diaryName) { return QStringLiteral("羽书手札 · %1 的日记").arg(diaryName); }
inline QString contents() { return QStringLiteral("目录"); }
inline QString yearHeading(int year) { return QStringLiteral("%1年").arg(year); }
inline QString monthHeading(int month) { return QStringLiteral("%1月").arg(month); }
inline QString weekday(int day)
{
    static const QString names[] = {QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三"),
                                    QStringLiteral("四"), QStringLiteral("五"), QStringLiteral("六"),
                                    QStringLiteral("日")};
    return day >= 1 && day <= 7 ? QStringLiteral("（星期%1）").arg(names[day - 1]) : QString();
}
inline QString weatherPart(const QString &word) { return QStringLiteral("天气：") + word; }
inline QString moodPart(const QString &word) { return QStringLiteral("心情：") + word; }
// Why an entry was left out although it was chosen.
inline QString notADate() { return QStringLiteral("名字不是日期"); }

} // namespace export_text
