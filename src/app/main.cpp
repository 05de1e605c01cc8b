#include "app/single_instance.h"
#include "app/startup.h"
#include "platform/files.h"
#include "settings/ini.h"

#include <QApplication>
#include <QDir>

#include <cstring>

namespace {

// Started from the desktop's menu the working folder is wherever the menu happens to start
// programs (often the home folder or "/"), so the diaries go to a folder of the user's own.
// Started from a shell, the program keeps its working folder: that is where its diaries are.
void enterMenuDiaryFolder(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--from-menu") != 0)
            continue;
        const QString folder = QDir::homePath() + QLatin1String("/Quillbook");
        // Created 0700: no other local user lists the diaries in it.
        if (files::makePrivateFolders(folder))
            QDir::setCurrent(folder);
        return;
    }
}

} // namespace

int main(int argc, char **argv)
{
    // The settings file's place is fixed before anything else, and kept for the whole run.
    ini::fixSettingsPath();
    enterMenuDiaryFolder(argc, argv);
    QApplication app(argc, argv);
    return startup::run(app, TSingleInstance::defaultName());
}
