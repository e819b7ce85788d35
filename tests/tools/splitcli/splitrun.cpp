#include "splitrun.h"

#include "support/clips.h"

#include <QDir>

namespace kc::test {

QString SplitTool()
{
    return BinDir() + QStringLiteral("kestrelcut-split");
}

SplitRun RunSplit(const QStringList &args)
{
    SplitRun r;
    r.out = RunTool(SplitTool(), args, &r.exitCode, &r.err);
    return r;
}

void SplitIntoFolder::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    out = dir.path() + QStringLiteral("/out/");
    ASSERT_TRUE(QDir().mkpath(out));
}

QStringList SplitIntoFolder::Pieces() const
{
    QStringList files = QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (QString &f : files)
        f = out + f;
    return files;
}

} // namespace kc::test
