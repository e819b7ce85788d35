#include "messagerecorder.h"

namespace kc::test {

MessageRecorder::MessageRecorder()
{
    m_previous = SetMessageSink([this](MessageKind kind, const QString &text) {
        m_entries.append({kind, text});
        if (m_hook)
            m_hook(m_entries.last());
    });
}

MessageRecorder::~MessageRecorder()
{
    SetMessageSink(std::move(m_previous));
}

QStringList MessageRecorder::texts() const
{
    QStringList out;
    for (const Entry &e : m_entries)
        out << e.text;
    return out;
}

} // namespace kc::test
