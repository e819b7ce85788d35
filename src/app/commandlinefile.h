#pragma once

#include <QString>
#include <QStringList>

namespace kc {

// The video file named on the command line (`kestrelcut FILE`): the first argument after the
// program that is not an option (anything after "--" counts as a name), as a clean absolute
// path, so that a running instance in another current folder finds it too. A "file:" URL,
// as some desktops pass, gives its local path. Empty when no file was named.
QString CommandLineFile(const QStringList &arguments, const QString &currentFolder);

} // namespace kc
