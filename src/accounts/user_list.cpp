#include "accounts/user_list.h"
#include "accounts/messages.h"
#include "accounts/user_name.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/gbk.h"

#include <QFile>

QStringList parseUserList(const QByteArray &bytes)
{
    // GBK trail bytes lie at 0x40 and above, so CR, LF and zero are never part of a character.
    const qsizetype zero = bytes.indexOf('\0');
    const qsizetype end = zero < 0 ? bytes.size() : zero;
    QStringList names;
    gbk::Decoder decoder;
    qsizetype start = 0;
    for (qsizetype i = 0; i < end; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        names.append(decoder.decode(QByteArrayView(bytes.constData() + start, i - start)));
        if (c == '\r' && i + 1 < end && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < end)
        names.append(decoder.decode(QByteArrayView(bytes.constData() + start, end - start)));
    return names;
}

bool fitsOnOneLine(const QString &name)
{
    return !name.contains(QChar(u'\0')) && !name.contains(QLatin1Char('\r'))
           && !name.contains(QLatin1Char('\n'));
}

QByteArray formatUserList(const QStringList &names)
{
    QByteArray bytes;
    for (const QString &name : names) {
        if (!fitsOnOneLine(name))
            throw EInvalidUserName(accounts_text::kNameHasLineBreak);
        bytes += gbk::encodeOrThrow(name, QStringLiteral("user name"));
        bytes += "\r\n";
    }
    return bytes;
}

QStringList readUserList(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(accounts_text::kUserListRead.arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EInOutError(accounts_text::kUserListRead.arg(path, file.errorString()));
    return parseUserList(bytes);
}

namespace {

// Nothing is read for a change or written without the exclusive lock of the list's folder.
void requireLock(const files::FolderLock &lock, const QString &path)
{
    if (lock.busy())
        throw EFileInUse(accounts_text::kUserListInUse.arg(path));
    if (!lock.ok())
        throw EInOutError(accounts_text::kUserListWrite.arg(path, lock.errorString()));
}

} // namespace

void writeUserList(const QStringList &names, const QString &path)
{
    const QByteArray bytes = formatUserList(names);
    files::FolderLock lock(path, files::FolderLock::Exclusive);
    requireLock(lock, path);
    files::AtomicWriter::removeLeftovers(path);
    files::AtomicWriter out(path);
    if (!out.isOpen() || !out.write(bytes) || !out.commit())
        throw EInOutError(accounts_text::kUserListWrite.arg(path, out.errorString()));
}

QStringList addToUserList(const QString &name, const QString &path)
{
    formatUserList({name});
    files::FolderLock lock(path, files::FolderLock::Exclusive);
    requireLock(lock, path);
    // The list as it is now, not as this program last read it: another copy of the program may
    // have added its own users since.
    QStringList names = files::exists(path) ? readUserList(path) : QStringList();
    names.append(name);
    writeUserList(names, path);
    return names;
}
