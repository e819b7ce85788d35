#include "browseforfolder.h"

#include <QFileDialog>

namespace kc {

namespace {

FolderChooser &currentChooser()
{
    static FolderChooser chooser;
    return chooser;
}

QString RunFolderDialog(QWidget *owner, const QString &title, const QString &root)
{
    return QFileDialog::getExistingDirectory(owner ? owner->window() : nullptr, title, root,
                                             QFileDialog::ShowDirsOnly);
}

} // namespace

bool BrowseForFolder(QWidget *owner, const QString &title, const QString &root, QString *path)
{
    if (path)
        path->clear();
    const FolderChooser &chooser = currentChooser();
    QString chosen = chooser ? chooser(owner, title, root) : RunFolderDialog(owner, title, root);
    if (chosen.isEmpty())
        return false;
    while (chosen.size() > 1 && chosen.endsWith(QLatin1Char('/')))
        chosen.chop(1);
    if (!chosen.endsWith(QLatin1Char('/')))
        chosen += QLatin1Char('/');
    if (path)
        *path = chosen;
    return true;
}

FolderChooser SetFolderChooser(FolderChooser chooser)
{
    FolderChooser previous = std::move(currentChooser());
    currentChooser() = std::move(chooser);
    return previous;
}

} // namespace kc
