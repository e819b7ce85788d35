#include "messageboxsink.h"

#include "messages.h"

#include <QApplication>
#include <QMessageBox>

namespace kc {

void InstallMessageBoxSink()
{
    SetMessageSink([](MessageKind kind, const QString &text) {
        QWidget *owner = QApplication::activeWindow();
        QMessageBox box(owner);
        if (kind == MessageKind::Info) {
            box.setWindowTitle(QStringLiteral("提示"));
            box.setIcon(QMessageBox::Information);
        } else {
            box.setWindowTitle(QApplication::applicationName());
            box.setIcon(QMessageBox::NoIcon);
        }
        box.setText(text);
        box.setStandardButtons(QMessageBox::Ok);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    });
}

} // namespace kc
