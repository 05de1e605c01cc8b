#pragma once

#include "diary/record_limit.h"

#include <QString>

// Why a file is not imported, as the import's summary and quillbook-tool name it.
namespace import_text {

inline QString cannotOpen(const QString &why) { return QStringLiteral("无法打开：") + why; }
inline QString tooLarge() { return QStringLiteral("文件太大"); }
// A device, a FIFO, a folder, a symbolic link: only regular files are read.
inline QString notRegularFile() { return QStringLiteral("不是普通文件"); }
// An entry it gives would be larger than an entry may hold (diary/record_limit.h).
inline QString entryTooLarge()
{
    return QStringLiteral("其中的日记太长：一篇日记连同图片最多 %1 MB").arg(diary_limits::kMaxRecordSize >> 20);
}
inline QString noDate() { return QStringLiteral("文件名和内容里都没有日期"); }
inline QString textBeforeFirstDate()
{
    return QStringLiteral("第一个日期之前还有文字，不知道它属于哪一天");
}
inline QString notText() { return QStringLiteral("不是文本文件"); }
inline QString notRtf() { return QStringLiteral("不是可以读取的RTF文件"); }
inline QString unknownKind() { return QStringLiteral("不认识的文件类型"); }
inline QString badDateInHtml() { return QStringLiteral("HTML中有日记的日期无效"); }

} // namespace import_text

// The import's window texts.
namespace import_text {

inline QString caption() { return QStringLiteral("羽书手札"); }
inline QString dialogTitle() { return QStringLiteral("导入日记"); }
inline QString chooseFiles() { return QStringLiteral("选择要导入的日记文件"); }
inline QString fileFilter()
{
    return QStringLiteral("日记文件 (*.txt *.md *.markdown *.rtf *.html *.htm);;所有文件 (*)");
}
inline QString reading() { return QStringLiteral("正在读取要导入的文件…"); }
inline QString importing() { return QStringLiteral("正在导入日记…"); }
inline QString writing() { return QStringLiteral("正在写入日记，请稍候…"); }
inline QString cancel() { return QStringLiteral("取消"); }
inline QString importButton() { return QStringLiteral("导入"); }

// The summary: %1 days, %2 the first, %3 the last, %4 of them already written.
inline QString planSummary(int days, const QString &first, const QString &last, int existing)
{
    if (days == 0)
        return QStringLiteral("没有读到可以导入的日记。");
    QString text = days == 1 ? QStringLiteral("共读到 1 天的日记（%1）").arg(first)
                             : QStringLiteral("共读到 %1 天的日记（%2 至 %3）").arg(days).arg(first, last);
    if (existing > 0)
        text += QStringLiteral("，其中 %1 天已经写过日记").arg(existing);
    return text + QStringLiteral("。");
}
inline QString refusedHeading() { return QStringLiteral("以下文件不能导入："); }
inline QString refusedLine(const QString &file, const QString &reason)
{
    return QStringLiteral("%1：%2").arg(file, reason);
}
inline QString existingGroup() { return QStringLiteral("已经写过日记的日子"); }
inline QString skipChoice() { return QStringLiteral("跳过，保留原来的日记"); }
inline QString appendChoice() { return QStringLiteral("追加在原来的日记后面"); }
inline QString replaceChoice() { return QStringLiteral("替换原来的日记"); }
inline QString encodingLabel() { return QStringLiteral("文本编码："); }
inline QString autoEncoding() { return QStringLiteral("自动识别"); }
inline QString versionNote()
{
    return QStringLiteral("导入前会保留日记原来的版本，可以用“历史版本”找回。");
}

inline QString cancelled() { return QStringLiteral("导入已取消，日记没有任何改动。"); }
inline QString done(int added, int appended, int replaced, int skipped)
{
    return QStringLiteral("导入完成：新增 %1 篇，追加 %2 篇，替换 %3 篇，跳过 %4 篇。")
        .arg(added)
        .arg(appended)
        .arg(replaced)
        .arg(skipped);
}
// Days whose entry cannot be read and was left alone: %1 the days.
inline QString leftAlone(const QString &days)
{
    return QStringLiteral("以下日子原有的日记无法读取，没有改动：%1").arg(days);
}
inline QString filesRefused(int count)
{
    return QStringLiteral("有 %1 个文件没有导入。").arg(count);
}

} // namespace import_text
