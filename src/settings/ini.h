#pragma once

#include <QByteArray>
#include <QString>

// The settings file "main.ini": a small sections-and-keys text file that remembers the skin
// choice between runs. Each call opens the file, scans it line by line and closes it again.
//
// Format: GBK text lines, each written with CR LF (a file with LF-only line ends reads the same).
// A file that is valid UTF-8 and not plain ASCII (as today's editors save it, with or without a
// byte order mark) is read as UTF-8; a change writes the whole file back in GBK.
// A section starts at a line "[name]" and runs to the next line whose first non-space character
// is "["; a key line is name "=" value.
//
// Matching (all routines): a line is compared after upper-casing the ASCII letters a-z (the two
// bytes of a GBK character stay as they are) and removing every space (0x20). A header matches
// when that equals "[" + upper(section) + "]"; a key line matches when it begins with
// upper(key), so "skinny" matches "skin". The caller's names are upper-cased but keep their
// spaces, so a name holding a space matches nothing. A value is taken from the line as it
// stands: everything after its last "=".
//
// Location: fixed once at start-up (fixSettingsPath) and kept for the run: "main.ini" in the
// executable's folder, or $XDG_CONFIG_HOME/quillbook/main.ini (default ~/.config/quillbook)
// when that folder is not writable.
//
// Errors: a file that cannot be created, opened, read or written raises EInOutError with the
// reason ("File not found", "File access denied", "Disk full", "I/O error <n>") and the path.
// A missing file is never an error for reading: it is created empty first.
//
// Writing: every change (WriteSetting, EnsureSettingsFile(true)) reads the file as it is now and
// replaces it whole through files::AtomicWriter, under the exclusive lock of its folder
// (files::FolderLock): the file is always either the old or the new version, and a change keeps
// every line it does not change. A symbolic link in the file's place is read through but never
// written through (EInOutError "Symbolic link not written through (<path>)"), and a link to
// nothing never has its target created. A lock another program holds longer than the lock waits
// raises EInOutError "File in use by another program; try again later (<path>)".
namespace ini {

// The running executable's folder, up to and including its last "/"; empty when the path the
// system reports holds none.
QString ProgramDirectory();

// The text with every space character (0x20) removed.
QByteArray RemoveSpaces(const QByteArray &text);

// Afterwards the settings file exists (or a link stands in its place); with truncate it is
// replaced by an empty file (its content is lost).
void EnsureSettingsFile(bool truncate);

// The value of the first key line of the section whose value is not empty, or empty.
// A section repeated further down is searched too, unless its header directly follows the
// previous section's last line.
QByteArray ReadSetting(const QByteArray &section, const QByteArray &key);

// The 1-based number of the section's first line that matches the key (with or without "="),
// or 0.
int FindSettingLine(const QByteArray &section, const QByteArray &key);

// Replaces the key's line with key=value (the caller's spelling of the key), or inserts that
// line directly below the section's header, or appends an empty line, "[section]" and key=value
// when there is no such section; every other line stays. On failure the file is unchanged.
void WriteSetting(const QByteArray &section, const QByteArray &key, const QByteArray &value);

// Fixes the settings file's path from the location rule above. Call once at start-up, before
// any window exists. An installed copy (its menu entry in ../share/applications beside the
// executable's folder) counts as not writable. Creates the configuration folder (0700) when that
// is the one chosen.
void fixSettingsPath();

// The fixed path (fixed on first use if fixSettingsPath was not called).
QString settingsPath();

// Sets the path directly: start-up code and tests.
void setSettingsPath(const QString &path);

// The location rule: programDirectory + "main.ini" when that folder is writable, otherwise
// main.ini in the "quillbook" folder of the user's configuration folder ($XDG_CONFIG_HOME when
// it is an absolute path, else $HOME/.config).
QString settingsPathFor(const QString &programDirectory, bool folderWritable);

} // namespace ini
