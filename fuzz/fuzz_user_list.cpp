// The input is a user list. Its names, written out again, must read back as the same names.
#include "fuzz_support.h"

#include "accounts/user_list.h"
#include "platform/exception.h"
#include "platform/gbk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList names = parseUserList(fuzzing::bytesOf(data, size));
    // Bytes that are not GBK read as U+FFFD, which cannot be written back.
    if (!gbk::canEncode(names.join(QLatin1Char('\n'))))
        return 0;
    QByteArray written;
    try {
        written = formatUserList(names);
    } catch (const Exception &) {
        fuzzing::fail("names read from a list cannot be written back");
    }
    if (parseUserList(written) != names)
        fuzzing::fail("a written list reads back to other names");
    return 0;
}
