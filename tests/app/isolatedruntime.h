#pragma once

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

// A private runtime folder that every process of one test shares, so that the
// single-instance guard of a test never meets another test's (or a real) instance.
class IsolatedRuntime
{
public:
    IsolatedRuntime()
    {
        QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // Starts program in this runtime folder on the offscreen platform.
    void start(QProcess &process, const QString &program, const QStringList &arguments = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.start(program, arguments);
    }

private:
    QTemporaryDir m_dir;
};
