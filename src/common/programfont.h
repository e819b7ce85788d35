#pragma once

#include <QFont>

namespace kc {

// The windows' font: "SimSun" when installed, else the system's CJK font, at 12 pixels.
QFont ProgramFont();

} // namespace kc
