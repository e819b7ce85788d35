#pragma once

#include <QIcon>
#include <QPixmap>

namespace kc {

// The pictures of the toolbar and preview buttons, drawn at run time so that they stay sharp
// at any scale and need no image files.
enum class ButtonPicture { Add, Split, Stop, Skin, Help, Tool, Play, Pause, PreviewStop };
QIcon ButtonIcon(ButtonPicture picture);

// The program's own icon (the one the desktop entry names), for its windows.
QIcon ProgramIcon();

// The splash picture, 380 x 242.
QPixmap SplashPicture();

} // namespace kc
