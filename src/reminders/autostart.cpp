#include "reminders/autostart.h"

#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace autostart {

namespace {

QString configFolder()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}

// One argument of Exec: quoted when it holds a reserved character, with ", `, $ and \ escaped
// inside the quotes; then, as every value of the file, \ escaped once more. A % is doubled.
QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString arg = argument;
    arg.replace(u'%', QStringLiteral("%%"));
    bool quote = arg.isEmpty();
    for (const QChar c : arg)
        quote = quote || reserved.contains(c);
    if (!quote)
        return arg;
    QString quoted;
    for (const QChar c : arg) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

} // namespace

QString filePath()
{
    return configFolder() + QStringLiteral("/autostart/") + QLatin1String(kFileName);
}

QByteArray entryText(const QString &programPath, const QString &diaryFolder)
{
    const QString exec = execArgument(programPath) + u' ' + QLatin1String(kTrayOption);
    QString path;
    if (!diaryFolder.isEmpty()) {
        if (diaryFolder.contains(u'\n') || diaryFolder.contains(u'\r'))
            throw EAutostartError(QStringLiteral("The folder name cannot be kept in a desktop entry: %1").arg(diaryFolder));
        // A value's backslashes are escaped (the desktop entry format's string rules).
        path = QStringLiteral("Path=%1\n").arg(QString(diaryFolder).replace(u'\\', QStringLiteral("\\\\")));
    }
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=羽书手札提醒\n"
                          "Comment=每天提醒写日记\n"
                          "Exec=%1\n"
                          "%2"
                          "Icon=net.quillbook.Quillbook\n"
                          "Terminal=false\n"
                          "NoDisplay=true\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec, path)
        .toUtf8();
}

void install(const QString &programPath, const QString &diaryFolder)
{
    const QString path = filePath();
    const QString folder = QFileInfo(path).path();
    if (!files::makePrivateFolders(folder))
        throw EAutostartError(QStringLiteral("The folder %1 cannot be created: %2")
                                  .arg(folder, QString::fromLocal8Bit(std::strerror(errno))));
    files::AtomicWriter out(path, files::AtomicWriter::RefuseLinks);
    if (!out.isOpen() || !out.write(entryText(programPath, diaryFolder)) || !out.commit())
        throw EAutostartError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, out.errorString()));
}

bool remove()
{
    // unlink never follows a link: a link in the entry's place goes, its target stays.
    return ::unlink(QFile::encodeName(filePath()).constData()) == 0 || errno == ENOENT;
}

bool isInstalled()
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(filePath()).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace autostart
