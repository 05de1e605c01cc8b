#include "accounts/user_name.h"
#include "accounts/messages.h"
#include "accounts/user_list.h"
#include "platform/files.h"
#include "platform/gbk.h"

void validateUserName(const QString &name)
{
    if (name.isEmpty())
        return;
    if (name.contains(QLatin1Char('/')))
        throw EInvalidUserName(accounts_text::kNameHasSlash);
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        throw EInvalidUserName(accounts_text::kNameIsDotOrDotDot);
    if (!fitsOnOneLine(name))
        throw EInvalidUserName(accounts_text::kNameHasLineBreak);
    if (!gbk::canEncode(name))
        throw EInvalidUserName(accounts_text::kNameNotGbk);
    if (name.toUtf8().size() > kMaxUserNameBytes)
        throw EInvalidUserName(accounts_text::kNameTooLong.arg(kMaxUserNameBytes));
    if (name == kUserListFileName)
        throw EInvalidUserName(accounts_text::kNameIsUserList);
    if (name == files::kLockFileName)
        throw EInvalidUserName(accounts_text::kNameIsLockFile);
    if (name.startsWith(QLatin1Char('.')) && name.endsWith(QLatin1String(".tmp")))
        throw EInvalidUserName(accounts_text::kNameLikeTemporaryFile);
}
