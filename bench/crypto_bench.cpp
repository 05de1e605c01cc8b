// Times a login to a private diary (one Argon2id derivation and the unwrap of the key) and
// reports the memory it takes, for the default parameters or the ones given:
//
//     crypto-bench [memoryKiB passes [rounds]]
//
// Each set of parameters is best measured in its own run, since the peak resident size a run
// reports is the largest of everything it did.

#include "crypto/private_header.h"
#include "crypto/recovery_code.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// User and system time of this process in milliseconds: on a busy machine the wall time of a
// derivation grows with the load, its processor time much less.
double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    private_format::KdfParams params = private_format::kDefaultKdf;
    int rounds = 5;
    if (args.size() >= 3) {
        params.memoryKiB = args[1].toUInt();
        params.passes = args[2].toUInt();
    }
    if (args.size() >= 4)
        rounds = std::max(1, args[3].toInt());

    const QString password = QStringLiteral("密码 correct horse");
    const DiaryKey key = DiaryKey::generate();
    const long before = peakResidentKiB();

    QElapsedTimer timer;
    timer.start();
    const PrivateHeader header =
        PrivateHeader::create(key, password, recovery_code::generate(), params);
    const qint64 createMs = timer.elapsed();

    std::vector<double> logins;
    std::vector<double> loginsCpu;
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        const double cpuBefore = cpuMs();
        const std::optional<DiaryKey> unlocked = header.unlock(password);
        logins.push_back(double(timer.nsecsElapsed()) / 1e6);
        loginsCpu.push_back(cpuMs() - cpuBefore);
        if (!unlocked || !unlocked->sameAs(key)) {
            std::fprintf(stderr, "unlock failed\n");
            return 1;
        }
    }
    std::sort(logins.begin(), logins.end());
    std::sort(loginsCpu.begin(), loginsCpu.end());

    std::printf("Argon2id m=%u KiB (%u MiB) t=%u: create %lld ms (two derivations); "
                "login median %.0f ms (min %.0f, max %.0f over %d), processor time median %.0f ms; "
                "peak resident +%ld KiB\n",
                params.memoryKiB, params.memoryKiB / 1024, params.passes,
                static_cast<long long>(createMs), logins[logins.size() / 2], logins.front(),
                logins.back(), rounds, loginsCpu[loginsCpu.size() / 2], peakResidentKiB() - before);
    return 0;
}
