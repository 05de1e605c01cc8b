#pragma once

#include "platform/exception.h"

#include <QString>

// The desktop's autostart entry that starts the program hidden in the tray at login, so that the
// daily reminder comes while the window is closed: quillbook-reminder.desktop in the user's
// autostart folder ($XDG_CONFIG_HOME/autostart when XDG_CONFIG_HOME is an absolute path, else
// ~/.config/autostart).
//
// The file is written 0600 (a new folder 0700) and replaced atomically; a symbolic link in its
// place is neither written through nor followed when it is removed.
namespace autostart {

class EAutostartError : public EInOutError { using EInOutError::EInOutError; };

inline constexpr char kFileName[] = "quillbook-reminder.desktop";
// The option the program is started with from the entry: hidden, in the tray.
inline constexpr char kTrayOption[] = "--tray";

// The entry's path.
QString filePath();

// The entry's text for the program at programPath (absolute): Exec quoted as freedesktop.org's
// desktop entry format asks, with kTrayOption. diaryFolder (absolute), when given, is the folder the
// program starts in (Path): where its diaries and their user list are, wherever the desktop
// starts programs. Throws EAutostartError for a folder name a desktop entry cannot hold (a line
// break in it).
QByteArray entryText(const QString &programPath, const QString &diaryFolder = {});

// Writes the entry. Throws EAutostartError when the folder or file cannot be written.
void install(const QString &programPath, const QString &diaryFolder = {});

// Removes the entry (a link there is removed, not its target). False when one is there and could
// not be removed.
bool remove();

bool isInstalled();

} // namespace autostart
