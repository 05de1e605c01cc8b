// make-diary N OUT: writes a realistic diary archive of N consecutive days to OUT, the same bytes
// on every run (the ten-year diary is N = 3650).

#include "diary_generator.h"

#include "platform/exception.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool ok = false;
    const int days = args.size() == 3 ? args[1].toInt(&ok) : 0;
    if (!ok || days < 0 || days > 65535) {
        std::fprintf(stderr, "usage: make-diary N OUT   (N days, 0 to 65535)\n");
        return 2;
    }
    try {
        bench::writeDiary(args[2], days);
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
