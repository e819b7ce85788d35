// Every caption of both windows can be read whole under every skin: each visible label,
// button, check box and radio button, and each drop-down list's current text, fits its
// control, stays inside its parent and keeps clear of its siblings. Every page of the page
// controls is looked at. Set KC_CAPTION_SHOTS to a folder to get a picture of each page.
#include "app/skins/skinmenu.h"
#include "app/tfrmmain.h"
#include "fastsplit/tfrmfastsplit.h"
#include "settingsfolder.h"
#include "support/messagerecorder.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOption>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// The space a text needs in a widget's font, one line per line break.
QSize textSize(const QWidget *w, const QString &text)
{
    QString shown = text;
    shown.remove(QLatin1Char('&')); // mnemonics are not drawn
    return w->fontMetrics().boundingRect(QRect(), Qt::AlignLeft | Qt::AlignTop, shown).size();
}

// Where a caption's text is drawn, in the parent's coordinates; an empty rect for controls
// that show no caption.
struct Caption {
    QRect text;      // the part that must be visible and clear of siblings
    QString problem; // why it does not fit, or empty
};

Caption labelCaption(const QLabel *label)
{
    Caption c;
    if (label->text().isEmpty() || !label->pixmap().isNull())
        return c;
    QRect inside = label->contentsRect();
    const int margin = label->margin();
    inside.adjust(margin, margin, -margin, -margin);
    // An indent moves the text in from the side it is aligned to.
    if (label->indent() > 0) {
        if (label->alignment() & Qt::AlignRight)
            inside.setRight(inside.right() - label->indent());
        else if (!(label->alignment() & Qt::AlignHCenter))
            inside.setLeft(inside.left() + label->indent());
    }
    const QSize need = textSize(label, label->text());
    if (need.width() > inside.width() || need.height() > inside.height() + 2)
        c.problem = QStringLiteral("text %1x%2 in %3x%4")
                        .arg(need.width()).arg(need.height()).arg(inside.width()).arg(inside.height());
    const QRect drawn = QStyle::alignedRect(label->layoutDirection(), label->alignment(), need.boundedTo(inside.size() + QSize(0, 2)),
                                            inside);
    c.text = drawn.translated(label->pos());
    return c;
}

Caption buttonCaption(QAbstractButton *button)
{
    Caption c;
    if (button->text().isEmpty())
        return c;
    QStyleOptionButton opt;
    opt.initFrom(button);
    opt.text = button->text();
    opt.icon = button->icon();
    opt.iconSize = button->iconSize();
    QStyle *style = button->style();
    const QSize text = textSize(button, button->text());
    int need = text.width();
    QRect inside;
    if (qobject_cast<QCheckBox *>(button)) {
        inside = style->subElementRect(QStyle::SE_CheckBoxContents, &opt, button);
    } else if (qobject_cast<QRadioButton *>(button)) {
        inside = style->subElementRect(QStyle::SE_RadioButtonContents, &opt, button);
    } else if (auto *tool = qobject_cast<QToolButton *>(button)) {
        // Picture above or beside the caption: the caption needs the width, or the width beside the picture.
        inside = button->contentsRect().adjusted(2, 2, -2, -2);
        if (tool->toolButtonStyle() == Qt::ToolButtonTextBesideIcon && !button->icon().isNull())
            need += button->iconSize().width() + 4;
    } else {
        if (auto *push = qobject_cast<QPushButton *>(button))
            opt.features = push->isFlat() ? QStyleOptionButton::Flat : QStyleOptionButton::None;
        inside = style->subElementRect(QStyle::SE_PushButtonContents, &opt, button);
        if (!button->icon().isNull())
            need += button->iconSize().width() + 4;
    }
    if (need > inside.width() || text.height() > inside.height() + 2)
        c.problem = QStringLiteral("text %1x%2 in %3x%4").arg(need).arg(text.height()).arg(inside.width()).arg(inside.height());
    c.text = button->geometry();
    return c;
}

// The text a drop-down list shows, against the field the style gives it.
Caption comboCaption(QComboBox *combo)
{
    Caption c;
    const QString text = combo->currentText();
    if (text.isEmpty())
        return c;
    int room = 0;
    if (QLineEdit *edit = combo->lineEdit()) {
        QStyleOptionFrame opt;
        opt.initFrom(edit);
        opt.rect = edit->rect();
        opt.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
        const QRect r = edit->style()->subElementRect(QStyle::SE_LineEditContents, &opt, edit);
        const QMargins m = edit->textMargins();
        room = r.width() - m.left() - m.right() - 2 * 2; // the line edit's own margin on each side
    } else {
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        opt.editable = false;
        opt.frame = combo->hasFrame();
        opt.currentText = text;
        opt.subControls = QStyle::SC_All;
        room = combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo).width() - 2;
    }
    const int need = textSize(combo, text).width();
    if (need > room)
        c.problem = QStringLiteral("\"%1\" needs %2 of %3").arg(text).arg(need).arg(room);
    c.text = combo->geometry();
    return c;
}

bool isCaptioned(const QWidget *w)
{
    return qobject_cast<const QLabel *>(w) || qobject_cast<const QAbstractButton *>(w) || qobject_cast<const QComboBox *>(w);
}

Caption captionOf(QWidget *w)
{
    if (auto *label = qobject_cast<QLabel *>(w))
        return labelCaption(label);
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return buttonCaption(button);
    if (auto *combo = qobject_cast<QComboBox *>(w))
        return comboCaption(combo);
    return {};
}

// The rectangle a sibling occupies: a label only where its text is.
QRect occupied(QWidget *w)
{
    if (auto *label = qobject_cast<QLabel *>(w))
        return labelCaption(label).text;
    if (!w->isVisibleTo(w->window()) || w->isWindow())
        return QRect();
    return w->geometry();
}

// The caption problems among the visible controls of top; where names the case.
QStringList walk(QWidget *top, const QString &where)
{
    QStringList problems;
    const QList<QWidget *> all = top->findChildren<QWidget *>();
    for (QWidget *w : all) {
        if (w->isWindow() || !w->isVisibleTo(top) || !isCaptioned(w) || !w->parentWidget())
            continue;
        // The drop-down lists' own inner parts are not the window's controls.
        if (qobject_cast<QComboBox *>(w->parentWidget()) || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const Caption c = captionOf(w);
        const QString name = where + QLatin1Char(' ') + w->objectName();
        if (!c.problem.isEmpty())
            problems << name + QStringLiteral(": does not fit: ") + c.problem;
        if (c.text.isEmpty())
            continue;
        // Inside its parent, which would clip it.
        if (!w->parentWidget()->rect().contains(c.text))
            problems << name + QStringLiteral(": reaches outside its parent %1").arg(w->parentWidget()->objectName());
        // Clear of its siblings; a caption's text keeps a pixel from what stands beside it.
        const QRect kept = c.text.adjusted(-1, 0, 1, 0);
        for (QObject *o : w->parentWidget()->children()) {
            auto *sibling = qobject_cast<QWidget *>(o);
            if (!sibling || sibling == w || !sibling->isVisibleTo(top))
                continue;
            const QRect other = occupied(sibling);
            if (!other.isEmpty() && kept.intersects(other))
                problems << name + QStringLiteral(": touches or covers %1").arg(sibling->objectName());
        }
    }
    return problems;
}

void shoot(QWidget *window, const QString &name)
{
    const QString folder = qEnvironmentVariable("KC_CAPTION_SHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    window->grab().save(folder + QLatin1Char('/') + QString(name).replace(QLatin1Char('/'), QLatin1Char('_'))
                        + QStringLiteral(".png"));
}

// Each page of each page control of window in turn; the other controls stay on their first page.
QStringList walkEveryPage(QWidget *window, const QString &where)
{
    QStringList problems;
    QList<QStackedWidget *> pageControls = window->findChildren<QStackedWidget *>();
    // Not those of the windows it owns (its file dialog).
    pageControls.removeIf([window](QStackedWidget *pages) { return pages->window() != window; });
    QList<int> before;
    for (QStackedWidget *pages : pageControls)
        before << pages->currentIndex();
    if (pageControls.isEmpty()) {
        window->grab(); // polishes every control under the skin
        problems << walk(window, where);
        shoot(window, where);
    }
    for (QStackedWidget *pages : pageControls) {
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            const QString page = where + QLatin1Char('/') + pages->currentWidget()->objectName();
            window->grab();
            problems << walk(window, page);
            shoot(window, page);
        }
    }
    for (int i = 0; i < pageControls.size(); ++i)
        pageControls[i]->setCurrentIndex(before[i]);
    problems.removeDuplicates();
    return problems;
}

TEST(CaptionFit, EveryCaptionOfBothWindowsIsWholeUnderEverySkin)
{
    kc::test::SettingsFolder folder;
    ASSERT_TRUE(folder.isValid());
    kc::test::MessageRecorder messages;
    kc::TFrmMain window;
    // The measure is the Chinese font the program picks; without one the test tells nothing.
    const QString family = QFontInfo(window.font()).family();
    ASSERT_TRUE(family.contains(QLatin1String("CJK")) || family == QLatin1String("SimSun")
                || family.contains(QLatin1String("WenQuanYi")) || family == QLatin1String("Noto Sans SC"))
        << "no Chinese font (fonts-noto-cjk): " << family.toStdString();
    window.show(); // fills the encoder lists and shows the start pages
    kc::TfrmFastSplit *fastSplit = window.fastSplitWindow();
    ASSERT_NE(fastSplit, nullptr);
    kc::SkinMenu *skins = window.findChild<kc::SkinMenu *>();
    ASSERT_NE(skins, nullptr);
    ASSERT_EQ(skins->itemCount(), 11);

    for (int skin = 0; skin < skins->itemCount(); ++skin) {
        skins->choose(skin);
        const QString name = QStringLiteral("%1-%2").arg(skin, 2, 10, QLatin1Char('0')).arg(skins->SkinStore().SkinName(skin));
        const QStringList problems =
            walkEveryPage(&window, name + QStringLiteral("-main")) + walkEveryPage(fastSplit, name + QStringLiteral("-fastsplit"));
        EXPECT_TRUE(problems.isEmpty()) << qPrintable(problems.join(QLatin1Char('\n')));
    }
}

} // namespace
