#include "commands.h"
#include "accounts/pass_cipher.h"
#include "platform/gbk.h"

namespace {

// The salt the program's own ciphers are configured with.
const QString kProgramSalt = QStringLiteral("53");
const QString kTokenUsage = QStringLiteral("token PASSWORD [--salt XX]");

int tokenCommand(const ToolContext &, const QStringList &args)
{
    QString password;
    QString salt = kProgramSalt;
    qsizetype passwords = 0;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--salt") && i + 1 < args.size())
            salt = args[++i];
        else if (passwords++ == 0)
            password = args[i];
    }
    if (passwords != 1) {
        toolError(QStringLiteral("usage: quillbook-tool ") + kTokenUsage);
        return 2;
    }

    TPassCipher cipher;
    cipher.SetSalt(salt);
    // A refused salt has been reported by the cipher; a token under another salt would mislead.
    if (cipher.Salt() != salt)
        return 2;
    cipher.SetInput(password);
    toolPrint(gbk::decode(cipher.Output()));
    return 0;
}

} // namespace

QList<ToolCommand> accountCommands()
{
    return {
        {QStringLiteral("token"), kTokenUsage, tokenCommand},
    };
}
