#pragma once

#include <QString>
#include <functional>

// How a component below the user interface shows a message box of its own (the archive's
// "Unknown Compression Method", the cipher's salt warning) without knowing of widgets: it calls
// notice::show, and the application routes notices to its message-box service
// (msgbox::routeNotices). Without a handler, notices go to standard error.
namespace notice {

// Plain: a box with no icon.
enum class Kind { Information, Warning, Error, Plain };

using Handler = std::function<void(Kind kind, const QString &caption, const QString &text)>;

void setHandler(Handler handler);
void show(Kind kind, const QString &caption, const QString &text);

} // namespace notice
