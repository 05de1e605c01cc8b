#pragma once

#include "platform/exception.h"

#include <QString>
#include <QStringList>

// The errors of the diary book and the texts it shows, exactly as the program shows them.

// A listing that would decode more than a listing may hold (diary::kMaxListingBytes).
class EListingTooLarge : public Exception { using Exception::Exception; };
// A save refused because the entry it would replace cannot be read: replacing it would destroy
// what another program or another password wrote there.
class EUnreadableEntry : public Exception { using Exception::Exception; };
// A private diary reached without its key, a diary that should be private and is not (its header
// was replaced: writing on would store entries unprotected), or a conversion of a diary already
// in the format asked for.
class EDiaryFormat : public Exception { using Exception::Exception; };
// A record larger than an entry may hold (diary_limits::kMaxRecordSize, record_limit.h).
class EEntryTooLarge : public Exception { using Exception::Exception; };

namespace diary_text {

// Why an entry cannot be read, as a row's summary says it: 「无法读取：」 and the reason.
inline QString unreadable(const QString &reason) { return QStringLiteral("无法读取：") + reason; }
inline QString reasonWrongPassword() { return QStringLiteral("密码不同"); }
inline QString reasonDamaged() { return QStringLiteral("数据损坏"); }
inline QString reasonNotADiary() { return QStringLiteral("不是日记"); }
inline QString reasonUnsupportedEncryption() { return QStringLiteral("不支持的加密方式"); }
inline QString reasonUnknownMethod() { return QStringLiteral("不支持的压缩方式"); }
inline QString reasonTooLarge() { return QStringLiteral("篇幅过大"); }
inline QString reasonMissing() { return QStringLiteral("找不到这篇日记"); }
inline QString reasonNotSealed() { return QStringLiteral("不在加密保护之中"); }

// The texts of EDiaryFormat.
inline QString needsKey() { return QStringLiteral("这本日记受加密保护，需要密码才能打开!"); }
inline QString headerGone()
{
    return QStringLiteral("这本日记的加密信息不见了，为免日记以不加密的方式写入，没有读写它!");
}
inline QString alreadyPrivate() { return QStringLiteral("这本日记已经受加密保护了!"); }
inline QString notPrivate() { return QStringLiteral("这本日记没有加密保护!"); }
inline QString versionOfOtherFormat()
{
    return QStringLiteral("这个历史版本与日记现在的格式不同（一个受加密保护，一个没有），没有恢复它!");
}

// A save over an entry that cannot be read: %1 the entry name, %2 the reason. Ends with "!", so
// the error box adds no full stop.
inline QString cannotReplace(const QString &name, const QString &reason)
{
    return QStringLiteral("日记“%1”无法读取（%2），为免覆盖它，这次没有保存!\n"
                          "写下的内容仍在编辑框中，请先复制出来!")
        .arg(name, reason);
}

// %1 the bytes the entries listed so far decode to, %2 the entry that would go beyond the limit,
// %3 its recorded size, %4 the limit.
inline QString listingTooLarge(qint64 listed, const QString &name, qint64 size, qint64 limit)
{
    return QStringLiteral("列出日记时在“%2”停下了：它的 %3 字节加上之前各篇的 %1 字节，"
                          "超过了一次最多能读的 %4 字节!")
        .arg(QString::number(listed), name, QString::number(size), QString::number(limit));
}

} // namespace diary_text

namespace diary_text {

// The window's boxes about entries that cannot be read. Caption of all of them.
inline QString caption() { return QStringLiteral("羽书手札"); }

// Opening an entry that cannot be read (warning box): %1 the entry name, %2 the reason.
// A day without an entry, clicked in the calendar.
inline QString writeForDay(const QString &name)
{
    return QStringLiteral("%1还没有日记，现在写一篇吗?").arg(name);
}

inline QString cannotOpen(const QString &name, const QString &reason)
{
    return QStringLiteral("日记“%1”无法读取（%2），不能打开!").arg(name, reason);
}

// Deleting an entry that cannot be read (question box, Yes and No): %1 the name, %2 the reason.
inline QString confirmDeleteUnreadable(const QString &name, const QString &reason)
{
    return QStringLiteral("日记“%1”无法读取（%2）。\n删除后无法恢复，确实要删除它吗?").arg(name, reason);
}

// Deleting an entry (question box, Yes and No, No the default): %1 the entry's name, its date.
inline QString confirmDelete(const QString &name)
{
    return QStringLiteral("确定要删除 %1 的日记吗？").arg(name);
}

// Undoing a delete when the day has an entry again (warning box): %1 the entry's name.
inline QString cannotUndoDelete(const QString &name)
{
    return QStringLiteral("%1 又有了日记，撤销删除会把它覆盖，所以没有撤销。").arg(name);
}

// How many names the notice after a listing names at most.
constexpr int kNoticeNames = 10;

// The notice after a listing that met entries it cannot read (information box): the first
// kNoticeNames names in the list's order, and how many there are in all.
inline QString unreadableNotice(const QStringList &names, int count)
{
    QStringList shown = names.mid(0, kNoticeNames);
    QString list = shown.join(QStringLiteral("、"));
    if (count > shown.size())
        list += QStringLiteral("等%1篇").arg(count);
    return QStringLiteral("有%1篇日记无法读取：%2。\n表中已注明原因；这些日记会原样保留，不会被改动。")
        .arg(QString::number(count), list);
}

} // namespace diary_text
