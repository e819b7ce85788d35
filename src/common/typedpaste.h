#pragma once

#include <QClipboard>
#include <QObject>
#include <QString>
#include <functional>

class QLineEdit;

namespace kc {

// Whether one typed character may go into a field: c typed at caret into text, where text is
// what the field holds before the character goes in (a selection about to be replaced is
// still part of it).
using TypedCharRule = std::function<bool(QChar c, const QString &text, int caret)>;

// What is left of pasted when its characters are typed one after another at selectionStart:
// the first accepted one replaces the selection, a refused one leaves everything as it was.
QString CleanAsTyped(const QString &pasted, const QString &text, int selectionStart, int selectionLength,
                     const TypedCharRule &accepts);

// Lets text reach a filtered line edit only the way typing does. Pastes from the keyboard
// shortcut, the context menu, the middle mouse button and input-method commits are cleaned
// by the rule and inserted as one undoable step; afterPaste then runs (the field's own
// clean-up). Dropped text is not taken: a drop goes on to the window beneath.
class TypedPaste : public QObject
{
    Q_OBJECT
public:
    TypedPaste(QLineEdit *field, TypedCharRule accepts, std::function<void()> afterPaste = {});

    void paste(QClipboard::Mode mode = QClipboard::Clipboard);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showContextMenu(const QPoint &globalPos);

    QLineEdit *m_field;
    TypedCharRule m_accepts;
    std::function<void()> m_afterPaste;
};

} // namespace kc
