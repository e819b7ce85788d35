#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kc::test {

// kestrelcut-split of this build.
QString SplitTool();

struct SplitRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs kestrelcut-split to its end.
SplitRun RunSplit(const QStringList &args);

// A test that splits into an empty output folder of its own.
class SplitIntoFolder : public ::testing::Test {
protected:
    void SetUp() override;

    // Every file in the output folder, hidden ones too, by name.
    QStringList Pieces() const;

    QTemporaryDir dir;
    QString out; // ends in "/"
};

} // namespace kc::test
