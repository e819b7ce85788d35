#pragma once

#include <QString>

namespace kc {

// The output folder offered before the user picks one: the user's Videos folder when it
// exists, else the home folder; always ending in exactly one "/".
QString DefaultOutputFolder();

// path with exactly one "/" at its end ("/" stays "/").
QString WithTrailingSlash(const QString &path);

} // namespace kc
