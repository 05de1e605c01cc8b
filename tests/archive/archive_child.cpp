// A separate program for the crash-safety tests: runs one archive operation with the file layer's
// fault injection armed, so that a test can stop it at any step and look at what is left.
//
//   archive_child <operation> <archive> [none | kill:<k>] [entry name, UTF-8]
//
// Prints "done <steps>" and exits 0 when the operation completed (steps: how many file steps it
// took); prints the error and exits 1 when it threw. A kill ends the process inside the file
// layer without either.
#include "crash_operations.h"

#include "platform/exception.h"
#include "platform/files.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: archive_child <operation> <archive> [fault] [name]\n");
        return 2;
    }
    const QString operation = QString::fromUtf8(argv[1]);
    const QString archive = QString::fromUtf8(argv[2]);
    const QByteArray fault = argc > 3 ? QByteArray(argv[3]) : QByteArray("none");
    const QByteArray name = argc > 4 ? crash_ops::g(argv[4]) : QByteArray();

    if (fault.startsWith("kill:"))
        files::FileFaults::arm(files::FileFaults::KillAt, fault.mid(5).toInt());
    else
        files::FileFaults::arm(files::FileFaults::Off, 0);
    try {
        if (!crash_ops::run(operation, archive, name)) {
            std::fprintf(stderr, "unknown operation\n");
            return 2;
        }
    } catch (const Exception &e) {
        std::printf("%s\n", e.what());
        return 1;
    }
    std::printf("done %d\n", files::FileFaults::stepsTaken());
    return 0;
}
