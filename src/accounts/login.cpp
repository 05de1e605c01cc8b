#include "accounts/login.h"
#include "accounts/messages.h"
#include "accounts/pass_cipher.h"
#include "accounts/user_name.h"
#include "archive/archive_writer.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/gbk.h"

namespace accounts {

namespace {

QByteArray tokenOf(TPassCipher &cipher, const QString &password)
{
    cipher.SetInput(password);
    return cipher.Output();
}

} // namespace

bool userExists(const QString &name)
{
    return !name.isEmpty() && files::exists(name);
}

void requireValidAccount(const QString &name, const QString &password)
{
    validateUserName(name);
    if (!gbk::canEncode(password))
        throw EEncodingError(accounts_text::kPasswordNotStorable);
}

bool passwordMatches(TArchiveReader &archive, TPassCipher &cipher, const QString &name,
                     const QString &password)
{
    archive.SetZipName(name);
    archive.OpenArchive();
    if (!gbk::canEncode(password))
        return false;
    return archive.ArchiveCommentBytes() == tokenOf(cipher, password);
}

void createUserArchive(TArchiveWriter &archive, TPassCipher &cipher, const QString &name,
                       const QString &password)
{
    requireValidAccount(name, password);
    const QByteArray token = tokenOf(cipher, password);
    archive.SetZipName(name);
    archive.SetArchiveCommentBytes(token);
    archive.SetPassword(kArchivePassword);
    archive.WriteArchive();
}

bool changePassword(TArchiveWriter &archive, TPassCipher &cipher, const QString &name,
                    const QString &oldPassword, const QString &newPassword)
{
    requireValidAccount(name, newPassword);
    if (!passwordMatches(archive, cipher, name, oldPassword))
        return false;
    archive.SetArchiveCommentBytes(tokenOf(cipher, newPassword));
    archive.SetPassword(kArchivePassword);
    archive.WriteArchive();
    return true;
}

} // namespace accounts
