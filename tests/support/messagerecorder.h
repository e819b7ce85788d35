#pragma once

#include "common/messages.h"

#include <QList>
#include <QString>
#include <functional>

namespace kc::test {

// Records every message instead of showing a box; restores the previous sink when destroyed.
// An optional hook runs at the moment a message is "shown" (the box would be open then).
class MessageRecorder
{
public:
    struct Entry {
        MessageKind kind;
        QString text;
    };

    MessageRecorder();
    ~MessageRecorder();

    const QList<Entry> &entries() const { return m_entries; }
    QStringList texts() const;
    QString last() const { return m_entries.isEmpty() ? QString() : m_entries.last().text; }
    void clear() { m_entries.clear(); }
    void setOnMessage(std::function<void(const Entry &)> hook) { m_hook = std::move(hook); }

private:
    QList<Entry> m_entries;
    MessageSink m_previous;
    std::function<void(const Entry &)> m_hook;
};

} // namespace kc::test
