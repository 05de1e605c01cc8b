// A separate program for the merge's crash test: merges every conflict copy of a diary with
// the file layer's fault injection armed, so that the test can stop it at any step.
//
//   merge_child <diary> [none | kill:<k>]
//
// Prints "done <steps>" and exits 0 when the merge completed; prints the error and exits 1 when
// it threw. A kill ends the process inside the file layer without either.
#include "platform/exception.h"
#include "platform/files.h"
#include "sync/diary_copies.h"

#include <QString>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: merge_child <diary> [fault]\n");
        return 2;
    }
    const QString diary = QString::fromUtf8(argv[1]);
    const QByteArray fault = argc > 2 ? QByteArray(argv[2]) : QByteArray("none");
    const QList<syncing::ConflictCopy> copies = syncing::findDiaryCopies(diary);
    if (fault.startsWith("kill:"))
        files::FileFaults::arm(files::FileFaults::KillAt, fault.mid(5).toInt());
    else
        files::FileFaults::arm(files::FileFaults::Off, 0);
    try {
        syncing::mergeCopies({diary, copies, nullptr, {}});
    } catch (const Exception &e) {
        std::printf("%s\n", e.what());
        return 1;
    }
    std::printf("done %d\n", files::FileFaults::stepsTaken());
    return 0;
}
