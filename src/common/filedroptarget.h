#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QMimeData;
class QWidget;

namespace kc {

// Lets a window take one local file dropped anywhere on it, also over its text fields
// (which would otherwise paste the file's name). The file is handed on after the drop has
// ended, so that a message box the loading shows does not hold up the program the file
// came from. While canTake answers false (a job runs) nothing is accepted and the pointer
// says so.
class FileDropTarget : public QObject
{
    Q_OBJECT
public:
    using Open = std::function<void(const QString &path)>;
    using CanTake = std::function<bool()>;

    FileDropTarget(QWidget *window, Open open, CanTake canTake);
    ~FileDropTarget() override;

    // The one local file (not a folder) that data carries, or an empty text when it carries
    // anything else: no URL, several, a remote one.
    static QString DroppedFile(const QMimeData *data);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool takes(QObject *receiver, const QMimeData *data, QString *path) const;

    QPointer<QWidget> m_window;
    Open m_open;
    CanTake m_canTake;
};

} // namespace kc
