#include "commands.h"

QList<ToolCommand> archiveCommands()
{
    return {};
}
