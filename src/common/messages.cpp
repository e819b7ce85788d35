#include "messages.h"

#include <QDebug>

namespace kc {

namespace {
MessageSink &currentSink()
{
    static MessageSink sink;
    return sink;
}

void deliver(MessageKind kind, const QString &text)
{
    if (currentSink())
        currentSink()(kind, text);
    else
        qWarning().noquote() << text; // no window yet (or a tool without one)
}
} // namespace

MessageSink SetMessageSink(MessageSink sink)
{
    MessageSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

void ShowInfo(const QString &text) { deliver(MessageKind::Info, text); }
void ShowPlain(const QString &text) { deliver(MessageKind::Plain, text); }

} // namespace kc
