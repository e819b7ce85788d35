#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace kc {

// Shows the folder dialog (folders only) modal to owner's window, with title above it,
// starting in root (empty: the dialog's default). On acceptance *path is the chosen
// folder ending in exactly one "/" and the result is true; a cancel leaves *path empty.
bool BrowseForFolder(QWidget *owner, const QString &title, const QString &root, QString *path);

// What runs in place of the dialog: returns the chosen folder (any trailing "/"), or an
// empty text for a cancel. Tests install one so that no dialog blocks.
using FolderChooser = std::function<QString(QWidget *owner, const QString &title, const QString &root)>;

// Installs a chooser (an empty one restores the real dialog) and returns the one it replaces.
FolderChooser SetFolderChooser(FolderChooser chooser);

} // namespace kc
