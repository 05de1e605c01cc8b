#include "notice.h"

#include <cstdio>

namespace notice {

namespace {
Handler &handler()
{
    static Handler current;
    return current;
}
} // namespace

void setHandler(Handler replacement) { handler() = std::move(replacement); }

void show(Kind kind, const QString &caption, const QString &text)
{
    if (handler()) {
        handler()(kind, caption, text);
        return;
    }
    const QByteArray line = (caption + QLatin1String(": ") + text + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

} // namespace notice
