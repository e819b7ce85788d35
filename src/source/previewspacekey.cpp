#include "previewspacekey.h"

#include "previewtransport.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace kc {

namespace {

bool IsTextField(const QWidget *w)
{
    if (!w)
        return false;
    if (qobject_cast<const QLineEdit *>(w) || qobject_cast<const QAbstractSpinBox *>(w)
        || qobject_cast<const QTextEdit *>(w) || qobject_cast<const QPlainTextEdit *>(w))
        return true;
    const auto *combo = qobject_cast<const QComboBox *>(w);
    return combo && combo->isEditable();
}

} // namespace

PreviewSpaceKey::PreviewSpaceKey(QWidget *window, PreviewTransport *transport)
    : QObject(window), m_window(window), m_transport(transport)
{
    m_window->installEventFilter(this);
}

bool PreviewSpaceKey::eventFilter(QObject *watched, QEvent *event)
{
    // A key reaches the window only when the focused control left it unused.
    if (watched != m_window || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Space || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    const QWidget *focus = QApplication::focusWidget();
    if (IsTextField(focus) || (focus && IsTextField(focus->parentWidget())))
        return false;
    const PreviewControls &c = m_transport->controls();
    QAbstractButton *button = c.btPrePause->isHidden() ? c.btPrePlay : c.btPrePause;
    button->click(); // a disabled button does nothing
    return true;
}

} // namespace kc
