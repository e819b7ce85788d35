#pragma once

#include <memory>

namespace kc {

class TFrmMain;

// The splash, then the main window: the splash runs its start-up script; the main window
// is then made, shown and painted while the splash is still up, and only then does the
// splash close, so the screen never stands empty between the two.
std::unique_ptr<TFrmMain> ShowSplashThenMainWindow();

} // namespace kc
