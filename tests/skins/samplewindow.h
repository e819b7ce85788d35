#pragma once

#include <QWidget>

class QToolButton;
class QFrame;

namespace kc::test {

// A small window with one of each kind of control the skins style, laid out like the main
// window: a toolbar band of tag-99 tool buttons, a black tag-99 preview panel, a split-mode
// group, an output-format group and a status bar. Half of the controls sit in a container
// that lockAll() disables, as the main window does while a split runs.
class SampleWindow : public QWidget
{
public:
    explicit SampleWindow(QWidget *parent = nullptr);

    QToolButton *toolButton() const { return m_toolButton; }
    QFrame *previewPanel() const { return m_previewPanel; }
    // Every control whose caption or text a disabled state must keep readable.
    QList<QWidget *> captionedControls() const { return m_captioned; }
    void lockAll(bool locked);

private:
    QToolButton *m_toolButton = nullptr;
    QFrame *m_previewPanel = nullptr;
    QList<QWidget *> m_lockable;
    QList<QWidget *> m_captioned;
};

} // namespace kc::test
