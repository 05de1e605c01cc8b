#include "accounts/private_login.h"

#include "accounts/login.h"
#include "accounts/messages.h"
#include "accounts/pass_cipher.h"
#include "archive/archive_writer.h"
#include "crypto/private_header.h"
#include "crypto/recovery_code.h"
#include "diary/diary_book.h"
#include "templates/templates.h"
#include "diary/messages.h"
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

private_format::KdfParams g_privateKdf = private_format::kDefaultKdf;

// The header of the private diary `name`; EDiaryFormat when the diary is not private.
PrivateHeader requirePrivateHeader(TArchiveReader &archive, const QString &name)
{
    archive.SetZipName(name);
    std::optional<PrivateHeader> header = diary::privateHeaderOf(archive);
    if (!header)
        throw EDiaryFormat(diary_text::notPrivate());
    return std::move(*header);
}

ConversionReport reportOf(const diary::Conversion &conversion)
{
    ConversionReport report;
    for (const auto &[name, problem] : conversion.carried)
        report.carried.append({gbk::decode(name), diary::problemReason(problem)});
    return report;
}

} // namespace

private_format::KdfParams privateKdf() { return g_privateKdf; }

void setPrivateKdf(private_format::KdfParams params) { g_privateKdf = params; }

bool isPrivateUser(TArchiveReader &archive, const QString &name)
{
    archive.SetZipName(name);
    return diary::isPrivateDiary(archive);
}

LoginResult logIn(TArchiveReader &archive, TPassCipher &cipher, const QString &name,
                  const QString &password)
{
    LoginResult result;
    archive.SetZipName(name);
    archive.OpenArchive();
    if (PrivateHeader::isPrivate(archive.ArchiveCommentBytes())) {
        result.key = requirePrivateHeader(archive, name).unlock(password);
        result.matched = result.key.has_value();
        return result;
    }
    result.matched = passwordMatches(archive, cipher, name, password);
    return result;
}

QString createPrivateUserArchive(TArchiveWriter &archive, const QString &name, const QString &password)
{
    requireValidAccount(name, password);
    const DiaryKey key = DiaryKey::generate();
    const QString code = recovery_code::generate();
    const PrivateHeader header = PrivateHeader::create(key, password, code, privateKdf());
    archive.SetZipName(name);
    diary::protectDiary(archive, header, key);
    return code;
}

std::optional<ConversionReport> protectUser(TArchiveWriter &archive, TPassCipher &cipher,
                                            const QString &name, const QString &password)
{
    if (isPrivateUser(archive, name))
        throw EDiaryFormat(diary_text::alreadyPrivate());
    if (!passwordMatches(archive, cipher, name, password))
        return std::nullopt;
    const DiaryKey key = DiaryKey::generate();
    const QString code = recovery_code::generate();
    const PrivateHeader header = PrivateHeader::create(key, password, code, privateKdf());
    const diary::Conversion conversion = diary::protectDiary(archive, header, key);
    ConversionReport report = reportOf(conversion);
    report.recoveryCode = code;
    report.removedCopies = conversion.removedCopies;
    // The templates are sealed with the diary key, as its entries now are.
    templates::reseal(name, nullptr, &key);
    return report;
}

std::optional<ConversionReport> unprotectUser(TArchiveWriter &archive, TPassCipher &cipher,
                                              const QString &name, const QString &password)
{
    const PrivateHeader header = requirePrivateHeader(archive, name);
    if (!gbk::canEncode(password))
        throw EEncodingError(accounts_text::kPasswordNotStorable);
    const std::optional<DiaryKey> key = header.unlock(password);
    if (!key)
        return std::nullopt;
    ConversionReport report = reportOf(diary::unprotectDiary(archive, *key, tokenOf(cipher, password)));
    templates::reseal(name, &*key, nullptr);
    return report;
}

bool recoverPassword(TArchiveWriter &archive, const QString &name, const QString &recoveryCode,
                     const QString &newPassword)
{
    requireValidAccount(name, newPassword);
    const PrivateHeader header = requirePrivateHeader(archive, name);
    if (!recovery_code::isWellFormed(recoveryCode))
        return false;
    const std::optional<DiaryKey> key = header.unlockWithRecoveryCode(recoveryCode);
    if (!key)
        return false;
    diary::setPrivateHeader(archive, header.withPassword(*key, newPassword, privateKdf()));
    return true;
}

bool changeDiaryPassword(TArchiveWriter &archive, TPassCipher &cipher, const QString &name,
                         const QString &oldPassword, const QString &newPassword)
{
    requireValidAccount(name, newPassword);
    if (!isPrivateUser(archive, name))
        return changePassword(archive, cipher, name, oldPassword, newPassword);
    const PrivateHeader header = requirePrivateHeader(archive, name);
    const std::optional<DiaryKey> key = header.unlock(oldPassword);
    if (!key)
        return false;
    diary::setPrivateHeader(archive, header.withPassword(*key, newPassword, privateKdf()));
    return true;
}

} // namespace accounts
