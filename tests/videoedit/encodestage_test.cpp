// The encoding thread of a render: order, back-pressure, failure and cancelling.
#include "components/videoedit/encodestage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace kc;

namespace {

TEST(VideoEditEncodeStage, RunsWorkInOrderAndDrains)
{
    EncodeStage stage(2);
    std::vector<int> order;
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(stage.post([&order, i](QString *) { order.push_back(i); return true; }, i % 2 == 0));
    QString error;
    ASSERT_TRUE(stage.drain(&error));
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[size_t(i)], i);
}

TEST(VideoEditEncodeStage, HoldsNoMorePicturesThanAllowed)
{
    EncodeStage stage(3);
    std::atomic<int> waiting{0}, most{0};
    auto picture = std::make_shared<int>(0);
    for (int i = 0; i < 20; ++i) {
        const int now = ++waiting;
        most = std::max(most.load(), now);
        ASSERT_TRUE(stage.post([&waiting](QString *) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            --waiting;
            return true;
        }, true));
    }
    ASSERT_TRUE(stage.drain(nullptr));
    EXPECT_LE(most.load(), 3 + 1); // the queue's three and the one being posted
}

TEST(VideoEditEncodeStage, FirstFailureDropsTheRestAndGivesItsReason)
{
    EncodeStage stage;
    bool ranAfter = false;
    auto held = std::make_shared<int>(1);
    std::weak_ptr<int> watch = held;
    stage.post([](QString *e) {
        *e = QStringLiteral("disk full");
        return false;
    });
    stage.post([&ranAfter, held](QString *) { ranAfter = true; return true; });
    held.reset();
    QString error;
    EXPECT_FALSE(stage.drain(&error));
    EXPECT_EQ(error, QStringLiteral("disk full"));
    EXPECT_FALSE(ranAfter);
    EXPECT_TRUE(watch.expired()); // dropped work releases what it held
    EXPECT_FALSE(stage.post([](QString *) { return true; }));
}

TEST(VideoEditEncodeStage, CancelReturnsPromptlyAndDropsQueuedWork)
{
    EncodeStage stage(100);
    std::atomic<int> ran{0};
    for (int i = 0; i < 100; ++i)
        stage.post([&ran](QString *) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ++ran;
            return true;
        }, true);
    const auto t0 = std::chrono::steady_clock::now();
    stage.cancel();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
    EXPECT_LT(ran.load(), 100);
    EXPECT_FALSE(stage.post([](QString *) { return true; }));
}

} // namespace
