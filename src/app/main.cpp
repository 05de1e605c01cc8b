#include "app/single_instance.h"
#include "app/startup.h"
#include "settings/ini.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // The settings file's place is fixed before anything else, and kept for the whole run.
    ini::fixSettingsPath();
    QApplication app(argc, argv);
    return startup::run(app, TSingleInstance::defaultName());
}
