#include "support/test_support.h"
#include "platform/files.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace testing_support {

RunResult run(const QString &program, const QStringList &args, const QByteArray &input,
              const QString &workDir)
{
    RunResult result;
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(program, args);
    if (!process.waitForStarted(30000))
        return result;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(300000);
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

QStringList entriesIn(const QString &folder, QDir::Filters filters)
{
    QStringList names = QDir(folder).entryList(filters);
    names.removeAll(files::kLockFileName);
    return names;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

OtherProgram::OtherProgram(const QString &program, const QStringList &args)
    : m_process(std::make_unique<QProcess>())
{
    m_process->start(program, args);
    if (m_process->waitForStarted(30000)) {
        while (!m_process->canReadLine() && m_process->waitForReadyRead(60000)) {
        }
    }
    m_firstLine = m_process->readLine().trimmed();
}

OtherProgram::~OtherProgram()
{
    m_process->closeWriteChannel();
    m_process->waitForFinished(60000);
}

QString flockProgram() { return QStandardPaths::findExecutable(QStringLiteral("flock")); }

std::unique_ptr<OtherProgram> holdWithFlock(const QString &path, const char *mode)
{
    return std::make_unique<OtherProgram>(
        flockProgram(), QStringList{QLatin1String(mode), path, QStringLiteral("sh"), QStringLiteral("-c"),
                                    QStringLiteral("echo held; exec cat > /dev/null")});
}

bool othersCouldLock(const QString &path)
{
    return run(flockProgram(), {QStringLiteral("-n"), QStringLiteral("-x"), path, QStringLiteral("true")})
               .exitCode == 0;
}

QString zipProgram() { return QStringLiteral(QB_ZIP); }
QString unzipProgram() { return QStringLiteral(QB_UNZIP); }
QString python3Program() { return QStringLiteral(QB_PYTHON3); }
QString perlProgram() { return QStringLiteral(QB_PERL); }
QString unrtfProgram() { return QStringLiteral(QB_UNRTF); }
QString pdftotextProgram() { return QStringLiteral(QB_PDFTOTEXT); }
QString sevenZipProgram() { return QStringLiteral(QB_SEVENZIP); }
QString binDir() { return QStringLiteral(QB_BIN_DIR); }
QString sourceDir() { return QStringLiteral(QB_SOURCE_DIR); }

} // namespace testing_support
