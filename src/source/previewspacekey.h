#pragma once

#include <QObject>

class QWidget;

namespace kc {

class PreviewTransport;

// Space plays or pauses the preview from anywhere in the window, as in media players, while
// the focus is in no text field and on no control that takes Space itself (a button or a
// box then keeps it, so the keyboard can still press them). Disabled transport buttons
// (during a split) leave Space without effect.
class PreviewSpaceKey : public QObject
{
    Q_OBJECT
public:
    PreviewSpaceKey(QWidget *window, PreviewTransport *transport);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    PreviewTransport *m_transport;
};

} // namespace kc
