#pragma once

#include <QString>

namespace kc {

// The version shown in the main window's title: the first line of the file when it holds
// only digits and full stops, else "2.0" (also for a missing, unreadable or empty file).
QString ReadVersion(const QString &path);

} // namespace kc
