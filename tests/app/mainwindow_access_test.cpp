// The real main window through the accessibility interfaces a screen reader uses, and the
// split-length field as a keyboard user edits it.
#include "app/tfrmmain.h"
#include "support/messagerecorder.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace kc::test {
namespace {

template <typename T = QWidget>
T *Control(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// The interface of object, reached by walking down from root as a screen reader does.
QAccessibleInterface *FindOnTree(QAccessibleInterface *root, const QObject *object, int depth = 0)
{
    if (!root || depth > 12)
        return nullptr;
    if (root->object() == object)
        return root;
    for (int i = 0; i < root->childCount(); ++i) {
        if (QAccessibleInterface *found = FindOnTree(root->child(i), object, depth + 1))
            return found;
    }
    return nullptr;
}

TEST(MainWindowAccess, TheSkinMenuAndItsEntriesAreOnTheTree)
{
    TFrmMain w;
    w.show();
    auto *menu = w.findChild<QMenu *>(QStringLiteral("pmSkin"));
    ASSERT_NE(menu, nullptr);
    QAccessibleInterface *found = FindOnTree(QAccessible::queryAccessibleInterface(&w), menu);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->text(QAccessible::Name), QStringLiteral("皮肤菜单"));
    EXPECT_EQ(found->childCount(), menu->actions().size());
    // Its entries are there with their names, for a screen reader to choose from.
    ASSERT_GT(found->childCount(), 0);
    EXPECT_EQ(found->child(0)->text(QAccessible::Name), menu->actions().first()->text());
    // The button still pops the menu up when pressed.
    Control<QAbstractButton>(w, "btSkin")->click();
    EXPECT_TRUE(menu->isVisible());
    menu->close();
}

TEST(MainWindowAccess, TheStatusHintExposesItsText)
{
    TFrmMain w;
    auto *hint = Control<QLabel>(w, "pnlHint");
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(hint);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("提示："));
    hint->setText(QStringLiteral("提示：正在输出第2个文件... ..."));
    EXPECT_EQ(iface->text(QAccessible::Name), hint->text());
    EXPECT_FALSE(iface->text(QAccessible::Description).isEmpty());
}

// A keystroke with the text a desktop keyboard attaches to it.
struct Keystroke {
    Qt::Key key;
    const char *text;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

TEST(MainWindowAccess, TheSplitLengthFieldEditsAsTextFieldsDo)
{
    MessageRecorder messages;
    TFrmMain w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    Control<QRadioButton>(w, "radBtSplitTime")->click();
    auto *field = Control<QLineEdit>(w, "EditSplitTime");
    const Keystroke backspace{Qt::Key_Backspace, "\b"};
    const Keystroke selectAll{Qt::Key_A, "\x01", Qt::ControlModifier};
    const Keystroke paste{Qt::Key_V, "\x16", Qt::ControlModifier};
    const Keystroke one{Qt::Key_1, "1"}, zero{Qt::Key_0, "0"};
    const struct {
        const char *name;
        std::vector<Keystroke> keys;
        const char *after;
    } cases[] = {
        {"cleared with backspace, then 10", {backspace, backspace, backspace, one, zero}, "10"},
        {"select all, then 10", {selectAll, one, zero}, "10"},
        {"select all, then paste", {selectAll, paste}, "120"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QGuiApplication::clipboard()->setText(QStringLiteral(" 1 2 0 秒"));
        field->setText(QStringLiteral("180"));
        field->setFocus();
        field->end(false);
        for (const Keystroke &k : c.keys)
            QTest::sendKeyEvent(QTest::Click, field, k.key, QString::fromUtf8(k.text), k.modifiers);
        EXPECT_EQ(field->text(), QString::fromLatin1(c.after));
    }
    EXPECT_TRUE(messages.texts().isEmpty());
}

} // namespace
} // namespace kc::test
