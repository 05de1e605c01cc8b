// The input is the settings file. The skin key is read, found and written; after each write the
// key must read back as written.
#include "fuzz_support.h"

#include "platform/exception.h"
#include "platform/gbk.h"
#include "settings/ini.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    ini::setSettingsPath(fuzzing::scratchFolder() + QLatin1String("/main.ini"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QByteArray section = gbk::encode(QStringLiteral("界面设置"));
    static const QByteArray key("skin");
    fuzzing::writeFile(ini::settingsPath(), data, size);
    try {
        ini::ReadSetting(section, key);
        ini::FindSettingLine(section, key);
        // A key of the caller's own spelling, and one with a space that matches nothing.
        ini::ReadSetting(section, QByteArray("SKIN"));
        ini::FindSettingLine(QByteArray("a b"), QByteArray("k"));

        // The first write may append a section, the second then replaces the line it wrote.
        for (const char *value : {"7", "12"}) {
            ini::WriteSetting(section, key, QByteArray(value));
            if (ini::ReadSetting(section, key) != value || ini::FindSettingLine(section, key) == 0)
                fuzzing::fail("a written setting does not read back");
        }
    } catch (const Exception &) {
    }
    return 0;
}
