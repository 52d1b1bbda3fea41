#pragma once

namespace sextara {

// How a dialog ended, as exec() returns it. The numbers are the old
// program's, so a trace shows the same result on every front end. Unscoped,
// so that a result passes where the dialog's int is taken:
// done(DialogResult::kFinished).
namespace dialog_results {
enum DialogResult : int {
    // The start-up dialog's Cancel (the program ends), or any dialog that the
    // closing window ends.
    kLeave = -1,
    // Cancel, Esc or the close button of a dialog that stores nothing.
    kRejected = 0,
    // OK of a dialog that stores what it shows.
    kAccepted = 1,
    // A page's Return, the start-up dialog's OK and close button, the About
    // box's OK.
    kFinished = 16,
};
}  // namespace dialog_results

using dialog_results::DialogResult;

}  // namespace sextara
