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
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        const std::optional<DiaryKey> unlocked = header.unlock(password);
        logins.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!unlocked || !unlocked->sameAs(key)) {
            std::fprintf(stderr, "unlock failed\n");
            return 1;
        }
    }
    std::sort(logins.begin(), logins.end());

    std::printf("Argon2id m=%u KiB (%u MiB) t=%u: create %lld ms (two derivations); "
                "login median %.0f ms, min %.0f, max %.0f over %d; peak resident +%ld KiB\n",
                params.memoryKiB, params.memoryKiB / 1024, params.passes,
                static_cast<long long>(createMs), logins[logins.size() / 2], logins.front(),
                logins.back(), rounds, peakResidentKiB() - before);
    return 0;
}
