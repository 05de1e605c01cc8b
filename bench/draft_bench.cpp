// draft-bench: what writing a draft costs the window's thread, for an entry of a usual length
// (a page of Chinese, about 3 KB of RTF) and a long one (about 60 KB), in both formats: the
// record encoded (deflated and encrypted, or sealed) and atomically replaced (written, synced,
// renamed, the folder synced), and the encoding alone: the window's own share, since the file is
// written by a worker. Median and longest of 50 runs each, in milliseconds.
#include "archive/zip_crypto.h"
#include "drafts/drafts.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main()
{
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("diary"));
    const DiaryKey key = DiaryKey::fromBytes(QByteArray(32, '\x11'));
    const QByteArray name = "2003\xc4\xea" "9\xd4\xc2" "26\xc8\xd5";
    for (const int size : {3000, 60000}) {
        QByteArray record = "{\\rtf1\\ansi 0\\par 0\\par ";
        while (record.size() < size)
            record += "\\'bd\\'f1\\'cc\\'ec\\'cf\\'c2\\'d3\\'ea ";
        record += "}";
        for (const DiaryKey *k : {static_cast<const DiaryKey *>(nullptr), &key}) {
            for (const bool whole : {true, false}) {
                std::vector<double> ms;
                for (int i = 0; i < 50; ++i) {
                    QElapsedTimer clock;
                    clock.start();
                    if (whole)
                        drafts::write(archive, name, record, k);
                    else
                        drafts::encode(name, record, k, QDateTime::currentDateTimeUtc(), zip::counterSeed());
                    ms.push_back(clock.nsecsElapsed() / 1e6);
                }
                std::sort(ms.begin(), ms.end());
                std::printf("draft of %6lld bytes, %-10s %-14s median %6.2f ms, longest %6.2f ms\n",
                            qint64(record.size()), k ? "sealed" : "old format",
                            whole ? "written" : "encoded only", ms[ms.size() / 2], ms.back());
            }
        }
    }
    return 0;
}
