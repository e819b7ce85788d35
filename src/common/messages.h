#pragma once

#include <QString>
#include <functional>

namespace kc {

enum class MessageKind {
    Info,  // the information box: title "提示", information icon, OK
    Plain, // the plain box: the application's title, no icon, OK
};

// Every message of the program passes through one sink. The GUI installs the
// message-box sink; tests install a recorder so that nothing blocks on a modal box.
using MessageSink = std::function<void(MessageKind kind, const QString &text)>;

// Installs a sink and returns the one it replaces.
MessageSink SetMessageSink(MessageSink sink);

void ShowInfo(const QString &text);
void ShowPlain(const QString &text);

} // namespace kc
