#include "typedpaste.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>

namespace kc {

QString CleanAsTyped(const QString &pasted, const QString &text, int selectionStart, int selectionLength,
                     const TypedCharRule &accepts)
{
    QString work = text;
    int caret = selectionStart;
    int selected = selectionLength;
    QString kept;
    for (QChar c : pasted) {
        if (!accepts(c, work, caret))
            continue;
        if (selected > 0) {
            work.remove(selectionStart, selected);
            selected = 0;
        }
        work.insert(caret, c);
        ++caret;
        kept += c;
    }
    return kept;
}

TypedPaste::TypedPaste(QLineEdit *field, TypedCharRule accepts, std::function<void()> afterPaste)
    : QObject(field), m_field(field), m_accepts(std::move(accepts)), m_afterPaste(std::move(afterPaste))
{
    m_field->setAcceptDrops(false);
    m_field->installEventFilter(this);
}

void TypedPaste::paste(QClipboard::Mode mode)
{
    if (m_field->isReadOnly())
        return;
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    const int start = m_field->hasSelectedText() ? m_field->selectionStart() : m_field->cursorPosition();
    const int length = m_field->hasSelectedText() ? int(m_field->selectedText().size()) : 0;
    const QString kept = CleanAsTyped(clipboard->text(mode), m_field->text(), start, length, m_accepts);
    if (kept.isEmpty())
        return; // nothing would have been typed: the selection stays as it is
    m_field->insert(kept);
    if (m_afterPaste)
        m_afterPaste();
}

void TypedPaste::showContextMenu(const QPoint &globalPos)
{
    QMenu *menu = m_field->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The standard menu's Paste entry is known by its (translated) text only.
    const QString pasteText = QCoreApplication::translate("QLineEdit", "&Paste");
    for (QAction *action : menu->actions()) {
        if (action->text().startsWith(pasteText)) {
            disconnect(action, &QAction::triggered, m_field, nullptr);
            connect(action, &QAction::triggered, this, [this] { paste(); });
        }
    }
    menu->popup(globalPos);
}

bool TypedPaste::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste)) {
            paste();
            return true;
        }
        break;
    case QEvent::ContextMenu:
        showContextMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QClipboard *clipboard = QGuiApplication::clipboard();
        if (mouse->button() == Qt::MiddleButton && clipboard && clipboard->supportsSelection()) {
            m_field->setCursorPosition(m_field->cursorPositionAt(mouse->position().toPoint()));
            paste(QClipboard::Selection);
            return true;
        }
        break;
    }
    case QEvent::InputMethod: {
        auto *ime = static_cast<QInputMethodEvent *>(event);
        if (!ime->commitString().isEmpty()) {
            const int start = m_field->hasSelectedText() ? m_field->selectionStart() : m_field->cursorPosition();
            const int length = m_field->hasSelectedText() ? int(m_field->selectedText().size()) : 0;
            ime->setCommitString(CleanAsTyped(ime->commitString(), m_field->text(), start, length, m_accepts),
                                 ime->replacementStart(), ime->replacementLength());
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kc
