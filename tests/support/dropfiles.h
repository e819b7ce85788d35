#pragma once

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace kc::test {

// Drags urls onto target (a control of a window) the way a file manager does: enter, move,
// and, when the enter was accepted, the drop. Returns whether the window took the drop;
// what it does with the file happens when events are processed next.
inline bool DropUrls(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    // File managers offer the names as text too; a text field would paste it.
    QStringList names;
    for (const QUrl &url : urls)
        names << url.toString();
    data.setText(names.join(QLatin1Char('\n')));
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

inline bool DropFile(QWidget *target, const QString &path)
{
    return DropUrls(target, {QUrl::fromLocalFile(path)});
}

} // namespace kc::test
