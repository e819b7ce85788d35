#pragma once

namespace kc {

// Routes ShowInfo and the plain box to modal QMessageBoxes over the active window.
void InstallMessageBoxSink();

} // namespace kc
