// Qt's own dialogs speak Chinese once the program has loaded Qt's catalogue, as it does at start.
#include "app/qttranslations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QTranslator>
#include <gtest/gtest.h>

namespace {

bool hasChinese(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x4e00 && c.unicode() <= 0x9fff)
            return true;
    }
    return false;
}

// Takes every translator the test installed off again, so later cases start in English.
struct TranslatorsRemoved {
    ~TranslatorsRemoved()
    {
        for (QTranslator *t : qApp->findChildren<QTranslator *>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }
};

TEST(QtTranslations, FileDialogMessageBoxAndStandardButtonsAreChinese)
{
    TranslatorsRemoved cleanup;
    {
        QMessageBox english(QMessageBox::Information, QStringLiteral("提示"), QStringLiteral("x"), QMessageBox::Ok);
        ASSERT_FALSE(hasChinese(english.button(QMessageBox::Ok)->text())) << "already translated before the test";
    }
    ASSERT_TRUE(kc::InstallQtChineseTranslations(qApp));

    // The box that every message of the program uses.
    QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), QStringLiteral("分割完成!"), QMessageBox::Ok);
    EXPECT_TRUE(hasChinese(box.button(QMessageBox::Ok)->text())) << box.button(QMessageBox::Ok)->text().toStdString();

    // Qt's own open dialog, as both windows make it.
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    auto *nameLabel = dialog.findChild<QLabel *>(QStringLiteral("fileNameLabel"));
    auto *typeLabel = dialog.findChild<QLabel *>(QStringLiteral("fileTypeLabel"));
    auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    ASSERT_TRUE(nameLabel && typeLabel && buttons);
    EXPECT_TRUE(hasChinese(nameLabel->text())) << nameLabel->text().toStdString();
    EXPECT_TRUE(hasChinese(typeLabel->text())) << typeLabel->text().toStdString();
    for (QAbstractButton *b : buttons->buttons())
        EXPECT_TRUE(hasChinese(b->text())) << b->text().toStdString();
    EXPECT_TRUE(hasChinese(dialog.windowTitle())) << dialog.windowTitle().toStdString();

    // A typed name that does not exist: Qt's own warning.
    QString warning;
    dialog.setDirectory(QDir::tempPath());
    QTimer::singleShot(0, [&] {
        auto closeIt = qScopeGuard([&] { dialog.reject(); });
        dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("不存在的文件.mp4"));
        QTimer::singleShot(0, [&] {
            if (auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                warning = shown->text();
                shown->reject();
            }
        });
        static_cast<QDialog &>(dialog).accept(); // QFileDialog's own accept() is protected
    });
    dialog.exec();
    EXPECT_TRUE(warning.contains(QStringLiteral("不存在的文件.mp4"))) << warning.toStdString();
    EXPECT_TRUE(hasChinese(warning.remove(QStringLiteral("不存在的文件.mp4")))) << warning.toStdString();
}

} // namespace
