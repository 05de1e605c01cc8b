#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QProcess;

// Small helpers shared by the tests: a scratch folder per test, running real peer programs
// (zip, unzip, python3, perl, unrtf, pdftotext) and the project's own command-line tool.
namespace testing_support {

struct RunResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end with the given arguments and standard input, in workDir (or the
// current folder when empty). exitCode is -1 when it could not start or crashed.
RunResult run(const QString &program, const QStringList &args, const QByteArray &input = {},
              const QString &workDir = {});

QByteArray readFile(const QString &path);

// The names in a folder, as QDir::entryList gives them, without the diary folder's lock file
// (files::kLockFileName), which every locked operation leaves there on purpose.
QStringList entriesIn(const QString &folder, QDir::Filters filters);
void writeFile(const QString &path, const QByteArray &bytes);

// A program running beside the test: started, read up to its first line (which it prints once
// it holds what it was asked to take), and ended by closing its input when the object goes.
class OtherProgram
{
public:
    OtherProgram(const QString &program, const QStringList &args);
    ~OtherProgram();
    OtherProgram(const OtherProgram &) = delete;
    OtherProgram &operator=(const OtherProgram &) = delete;
    QByteArray firstLine() const { return m_firstLine; }

private:
    std::unique_ptr<QProcess> m_process;
    QByteArray m_firstLine;
};

// util-linux's flock holding a lock on path (a file or a folder; mode "-x" or "-s") until the
// object goes; its first line is "held" once it holds the lock.
std::unique_ptr<OtherProgram> holdWithFlock(const QString &path, const char *mode);
// Whether another process could take an exclusive flock on path right now.
bool othersCouldLock(const QString &path);
QString flockProgram();

// Paths fixed at configure time.
QString zipProgram();
QString unzipProgram();
QString python3Program();
QString perlProgram();
QString unrtfProgram();
QString pdftotextProgram();
QString sevenZipProgram();   // 7-Zip (7zz, else p7zip's 7z)
QString binDir();        // build/bin: quillbook, quillbook-tool, make-diary
QString sourceDir();

} // namespace testing_support
