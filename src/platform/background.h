#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

// Long work (a listing, a rewrite, a lock wait, a key derivation) off the window's thread, for
// code written as if it ran in place. run() hands the work to a thread of its own and, on the
// application's main thread, turns the event loop until it is done: the windows keep painting,
// timers and the window system are served, and the user's input (keys, mouse, requests to close
// a window) is held back and delivered once the work is done, in order, so no keystroke is lost
// and no command starts in the middle of another. Elsewhere (another thread, no application) the
// work simply runs in place.
//
// What runs on the main thread while it waits (timers, queued calls) may ask waiting() and put
// off whatever would touch what the work is using. The work must not touch widgets.
namespace background {

// Runs work as above; an exception it throws is thrown again here, on the calling thread.
void runAndWait(const std::function<void()> &work);

// The same, except that the user's input is served while the work runs: for work under a modal
// progress dialog, whose cancel button must answer. The dialog keeps the rest of the window
// from being used meanwhile.
void runAndWaitUnderDialog(const std::function<void()> &work);

template <typename Work>
auto run(Work &&work) -> std::invoke_result_t<Work>
{
    using Result = std::invoke_result_t<Work>;
    if constexpr (std::is_void_v<Result>) {
        runAndWait(std::function<void()>(std::forward<Work>(work)));
    } else {
        std::optional<Result> result;
        runAndWait([&] { result.emplace(work()); });
        return std::move(*result);
    }
}

// True while the main thread waits in run() (at any depth).
bool waiting();

// Called on the main thread when its first wait starts and when its last one ends (the window
// shows the busy cursor meanwhile); a wait under a dialog calls neither. Empty functions remove
// them.
void setWaitHooks(std::function<void()> started, std::function<void()> ended);

} // namespace background
