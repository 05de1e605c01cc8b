#pragma once

#include "diary/record_limit.h"

#include <QString>
#include <QStringList>

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

// Other diary programs' exports and office documents.
inline QString notAZip() { return QStringLiteral("不是ZIP压缩包，或者压缩包不完整"); }
inline QString damagedZip(const QString &why) { return QStringLiteral("ZIP压缩包已损坏（%1）").arg(why); }
inline QString encryptedInZip() { return QStringLiteral("有密码保护"); }
inline QString unknownMethodInZip() { return QStringLiteral("压缩方法不认识"); }
inline QString damagedInZip() { return QStringLiteral("数据已损坏"); }
inline QString missingFile(const QString &name) { return QStringLiteral("找不到 %1").arg(name); }
inline QString fileUnreadable(const QString &name, const QString &why)
{
    return QStringLiteral("%1 无法读取：%2").arg(name, why);
}
// %1 the file (or the file in a package), %2 and %3 line and column, %4 what is wrong there.
inline QString badJson(const QString &file, int line, int column, const QString &what)
{
    return QStringLiteral("%1 第 %2 行第 %3 列：JSON格式错误（%4）").arg(file).arg(line).arg(column).arg(what);
}
inline QString badYaml(const QString &file, int line, int column, const QString &what)
{
    return QStringLiteral("%1 第 %2 行第 %3 列：YAML格式错误（%4）").arg(file).arg(line).arg(column).arg(what);
}
inline QString badXml(const QString &file, int line, int column, const QString &what)
{
    return QStringLiteral("%1 第 %2 行第 %3 列：XML格式错误（%4）").arg(file).arg(line).arg(column).arg(what);
}
inline QString unknownJson()
{
    return QStringLiteral("不认识的JSON文件：不是 jrnl、Day One、Mini Diary、Mini Diarium、Diarium 或 Journey 导出的日记");
}
inline QString unknownPackage()
{
    return QStringLiteral("压缩包里没有认识的日记：不是 Day One 或 Journey 的导出，也不是 ODF 或 Word 文档");
}
inline QString unknownFolder()
{
    return QStringLiteral("文件夹里没有认识的日记：不是 RedNotebook 的数据文件夹，也不是解压的 Day One 或 Journey 导出");
}
inline QString oldWordDocument()
{
    return QStringLiteral("只能读取 .docx 格式的 Word 文档，请先在 Word 或 LibreOffice 中另存为 .docx");
}
inline QString encryptedDocument() { return QStringLiteral("文档有密码保护，不能读取"); }
inline QString notADocument(const QString &missing)
{
    return QStringLiteral("不是可以读取的文档：缺少 %1").arg(missing);
}
inline QString unexpectedShape(const QString &what) { return QStringLiteral("“%1”的格式不对").arg(what); }

// Why one entry of an export is skipped.
inline QString missingPicture(const QString &name) { return QStringLiteral("图片 %1 不在导出里").arg(name); }
inline QString unreadablePicture(const QString &name)
{
    return QStringLiteral("图片 %1 无法读取：不是认识的图片格式").arg(name);
}
inline QString badDate(const QString &value) { return QStringLiteral("日期“%1”无效").arg(value); }
inline QString missingField(const QString &name) { return QStringLiteral("缺少“%1”").arg(name); }
// How a message names one entry of an export: its number in the file, and its day when known.
inline QString itemPlace(int number, const QString &day = QString())
{
    return day.isEmpty() ? QStringLiteral("第 %1 篇").arg(number)
                         : QStringLiteral("第 %1 篇（%2）").arg(number).arg(day);
}
// A skipped entry as the summary lists it: where, and why.
inline QString skippedLine(const QString &place, const QString &reason)
{
    return QStringLiteral("%1：%2").arg(place, reason);
}
inline QString dayInMonthFile(const QString &file, const QString &day)
{
    return QStringLiteral("%1 的 %2 日").arg(file, day);
}

// The exports as the summary names them.
inline QString jrnlText() { return QStringLiteral("jrnl 日记"); }
inline QString jrnlJson() { return QStringLiteral("jrnl JSON 导出"); }
inline QString dayOneJson() { return QStringLiteral("Day One 导出"); }
inline QString dayOneText() { return QStringLiteral("Day One 文本导出"); }
inline QString redNotebook() { return QStringLiteral("RedNotebook 日记"); }
inline QString miniDiary() { return QStringLiteral("Mini Diary 导出"); }
inline QString miniDiarium() { return QStringLiteral("Mini Diarium 导出"); }
inline QString diarium() { return QStringLiteral("Diarium 导出"); }
inline QString journey() { return QStringLiteral("Journey 导出"); }
inline QString odfDocument() { return QStringLiteral("ODF 文档"); }
inline QString wordDocument() { return QStringLiteral("Word 文档"); }

// Lines an imported entry gets for what the diary's boxes cannot hold.
inline QString weatherLine(const QString &text) { return QStringLiteral("天气：%1").arg(text); }
inline QString moodLine(const QString &text) { return QStringLiteral("心情：%1").arg(text); }
inline QString placeLine(const QString &text) { return QStringLiteral("地点：%1").arg(text); }

} // namespace import_text

// The import's window texts.
namespace import_text {

// A count as the summary writes it: groups of three digits apart from 1 000 on.
inline QString grouped(int number)
{
    QString digits = QString::number(number);
    if (number >= 1000) {
        for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
            digits.insert(at, u' ');
    }
    return digits;
}

// What was read of one export: 「Day One 导出：412 篇，跨 1 023 天，其中 38 天有多篇；图片 96 张」.
inline QString sourceSummary(const QString &format, int items, int days, int multiDays, int pictures)
{
    QString text = QStringLiteral("%1：%2 篇，跨 %3 天").arg(format, grouped(items), grouped(days));
    if (multiDays > 0)
        text += QStringLiteral("，其中 %1 天有多篇").arg(grouped(multiDays));
    if (pictures > 0)
        text += QStringLiteral("；图片 %1 张").arg(grouped(pictures));
    return text;
}

inline QString caption() { return QStringLiteral("羽书手札"); }
inline QString dialogTitle() { return QStringLiteral("导入日记"); }
inline QString chooseFiles() { return QStringLiteral("选择要导入的日记文件"); }
inline QString fileFilter()
{
    return QStringLiteral("日记文件 (*.txt *.md *.markdown *.rtf *.html *.htm *.json *.zip *.odt *.docx);;所有文件 (*)");
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
                             : QStringLiteral("共读到 %1 天的日记（%2 至 %3）").arg(grouped(days), first, last);
    if (existing > 0)
        text += QStringLiteral("，其中 %1 天已经写过日记").arg(grouped(existing));
    return text + QStringLiteral("。");
}
// A line of the summary with the file it speaks of: %1 the line, %2 the file's name.
inline QString ofFile(const QString &line, const QString &file)
{
    return QStringLiteral("%1（%2）").arg(line, file);
}
inline QString refusedHeading() { return QStringLiteral("以下文件不能导入："); }
inline QString skippedHeading() { return QStringLiteral("以下日记不会导入："); }
// The days the diary has already, the first few of them by name: %1 the days, %2 how many.
inline QString existingDays(const QStringList &first, int count)
{
    QString text = QStringLiteral("已经写过日记的日子：") + first.join(QStringLiteral("、"));
    if (count > first.size())
        text += QStringLiteral(" 等 %1 天").arg(grouped(count));
    return text;
}
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
inline QString entriesSkipped(int count)
{
    return QStringLiteral("有 %1 篇日记没有导入。").arg(count);
}

} // namespace import_text
