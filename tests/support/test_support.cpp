#include "support/test_support.h"
#include "platform/files.h"

#include <QFile>
#include <QProcess>

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

QString zipProgram() { return QStringLiteral(QB_ZIP); }
QString unzipProgram() { return QStringLiteral(QB_UNZIP); }
QString python3Program() { return QStringLiteral(QB_PYTHON3); }
QString perlProgram() { return QStringLiteral(QB_PERL); }
QString unrtfProgram() { return QStringLiteral(QB_UNRTF); }
QString pdftotextProgram() { return QStringLiteral(QB_PDFTOTEXT); }
QString binDir() { return QStringLiteral(QB_BIN_DIR); }
QString sourceDir() { return QStringLiteral(QB_SOURCE_DIR); }

} // namespace testing_support
