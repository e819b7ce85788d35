#include "common/programfolder.h"
#include "support/clips.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    kc::SetProgramFolder(kc::test::BinDir());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
