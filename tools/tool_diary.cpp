#include "commands.h"

QList<ToolCommand> diaryCommands()
{
    return {};
}
