#include "commands.h"

QList<ToolCommand> richTextCommands()
{
    return {};
}
