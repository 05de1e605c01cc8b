#include "commands.h"

QList<ToolCommand> accountCommands()
{
    return {};
}
