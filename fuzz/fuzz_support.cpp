#include "fuzz_support.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace fuzzing {

namespace {

struct Scratch
{
    Scratch()
    {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                       : QDir::tempPath();
        QByteArray templ = QFile::encodeName(base + QLatin1String("/quillbook-fuzz-XXXXXX"));
        if (!::mkdtemp(templ.data()))
            fail("cannot create the scratch folder");
        path = QFile::decodeName(templ);
    }
    ~Scratch() { QDir(path).removeRecursively(); }

    QString path;
};

} // namespace

QString scratchFolder()
{
    static Scratch scratch;
    return scratch.path;
}

void writeFile(const QString &path, const uint8_t *data, size_t size)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        fail("cannot create the input file");
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("cannot write the input file");
        data += n;
        size -= size_t(n);
    }
    ::close(fd);
}

void fail(const char *what)
{
    std::fprintf(stderr, "fuzz target: %s\n", what);
    std::abort();
}

} // namespace fuzzing
