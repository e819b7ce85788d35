#include "filedroptarget.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace kc {

FileDropTarget::FileDropTarget(QWidget *window, Open open, CanTake canTake)
    : QObject(window)
    , m_window(window)
    , m_open(std::move(open))
    , m_canTake(std::move(canTake))
{
    window->setAcceptDrops(true);
    // Watching the application sees the drop whichever control of the window is under the
    // pointer, before a text field takes it as text.
    qApp->installEventFilter(this);
}

FileDropTarget::~FileDropTarget()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

QString FileDropTarget::DroppedFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return QString();
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return QString();
    const QString path = urls.first().toLocalFile();
    return QFileInfo(path).isFile() ? path : QString();
}

bool FileDropTarget::takes(QObject *receiver, const QMimeData *data, QString *path) const
{
    auto *widget = qobject_cast<QWidget *>(receiver);
    if (!widget || !m_window || widget->window() != m_window)
        return false;
    *path = DroppedFile(data);
    return !path->isEmpty() && (!m_canTake || m_canTake());
}

bool FileDropTarget::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        QString path;
        if (!takes(watched, drag->mimeData(), &path))
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        QString path;
        if (!takes(watched, drop->mimeData(), &path))
            return false;
        drop->acceptProposedAction();
        QTimer::singleShot(0, this, [this, path] {
            if (m_open && (!m_canTake || m_canTake()))
                m_open(path);
        });
        return true;
    }
    default:
        return false;
    }
}

} // namespace kc
