#pragma once

#include <QString>

namespace kc {

// The running executable's folder, ending in "/". Files shipped beside the program
// (FileEncoder, Profiles/, help.html, Ver.ax, Config.ini) are ProgramFolder() + name.
QString ProgramFolder();

// Sets it explicitly (the splash does it once at start-up; tests point it at the build's bin/).
void SetProgramFolder(const QString &folder);

} // namespace kc
