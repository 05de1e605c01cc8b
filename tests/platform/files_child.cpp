// A separate program for the tests of the file layer that need a second process, or a second
// account:
//
//   files_child <uid> lock <path> shared|exclusive <wait ms>
//       takes the folder lock for path; prints its outcome ("held", "unlocked", "busy" or
//       "failed") and keeps it until its standard input ends
//   files_child <uid> replace <path> <text>
//       replaces the file with the text; prints "done", or "refused: <reason>"
//
// A uid of -1 keeps the account the program was started under; any other becomes the process's
// user and group (the user's own group, as "nobody" has it) before anything else is done, which
// root may do.
#include "platform/files.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

bool becomeUser(long uid)
{
    if (uid < 0)
        return true;
    const passwd *user = ::getpwuid(uid_t(uid));
    const gid_t gid = user ? user->pw_gid : gid_t(uid);
    return ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid_t(uid)) == 0;
}

const char *outcomeName(files::FolderLock::Outcome outcome)
{
    switch (outcome) {
    case files::FolderLock::Outcome::Held: return "held";
    case files::FolderLock::Outcome::Unlocked: return "unlocked";
    case files::FolderLock::Outcome::Busy: return "busy";
    case files::FolderLock::Outcome::Failed: return "failed";
    }
    return "?";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4 || !becomeUser(std::strtol(argv[1], nullptr, 10))) {
        std::fprintf(stderr, "usage: files_child <uid> lock|replace <path> …\n");
        return 2;
    }
    const QByteArray command = argv[2];
    const QString path = QString::fromUtf8(argv[3]);
    if (command == "lock" && argc == 6) {
        files::FolderLock::setWaitForTesting(std::atoi(argv[5]));
        const auto mode = std::strcmp(argv[4], "exclusive") == 0 ? files::FolderLock::Exclusive
                                                                  : files::FolderLock::Shared;
        files::FolderLock lock(path, mode);
        std::printf("%s\n", outcomeName(lock.outcome()));
        std::fflush(stdout);
        char line[64];
        while (std::fgets(line, sizeof line, stdin)) {
        }
        return 0;
    }
    if (command == "replace" && argc == 5) {
        files::AtomicWriter out(path);
        if (out.isOpen() && out.write(QByteArray(argv[4])) && out.commit())
            std::printf("done\n");
        else
            std::printf("refused: %s\n", out.errorString().toUtf8().constData());
        return 0;
    }
    std::fprintf(stderr, "unknown command\n");
    return 2;
}
