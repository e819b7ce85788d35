#include "h264paramsets.h"

#include <gtest/gtest.h>

using namespace kc::fileencoder;

namespace {

// SPS: High profile, level 3.0, seq_parameter_set_id ue(v) = 1 ("010"), then more bits.
const std::vector<uint8_t> kSps1 = {0x67, 0x64, 0x00, 0x1e, 0x5f, 0xff};
// SPS with id 0 ("1").
const std::vector<uint8_t> kSps0 = {0x67, 0x64, 0x00, 0x1e, 0xac, 0xd9};
// PPS with id 0 ("1") and with id 3 ("00100").
const std::vector<uint8_t> kPps0 = {0x68, 0xeb, 0xe3};
const std::vector<uint8_t> kPps3 = {0x68, 0x21, 0xe3};

} // namespace

TEST(H264ParamSets, ReadsTheIdsParameterSetsDeclare)
{
    EXPECT_EQ(ParameterSetId(kSps0), 0);
    EXPECT_EQ(ParameterSetId(kSps1), 1);
    EXPECT_EQ(ParameterSetId(kPps0), 0);
    EXPECT_EQ(ParameterSetId(kPps3), 3);
    EXPECT_EQ(ParameterSetId({0x65, 0x88}), -1); // a slice has no such id
    EXPECT_EQ(FreeParameterSetId({kSps0, kPps0}), 31);
}

TEST(H264ParamSets, AvcConfigKeepsEverySetAndTheHighProfileFields)
{
    AvcConfig config;
    config.lengthSize = 4;
    config.sps = {kSps0};
    config.pps = {kPps0};
    config.trailer = {0xfd, 0xf8, 0xf8, 0x00};
    std::vector<uint8_t> bytes = WriteAvcConfig(config);
    AvcConfig read;
    ASSERT_TRUE(ParseAvcConfig(bytes.data(), bytes.size(), &read));
    read.sps.push_back(kSps1);
    read.pps.push_back(kPps3);
    bytes = WriteAvcConfig(read);
    AvcConfig again;
    ASSERT_TRUE(ParseAvcConfig(bytes.data(), bytes.size(), &again));
    EXPECT_EQ(again.lengthSize, 4);
    EXPECT_EQ(again.sps, (std::vector<std::vector<uint8_t>>{kSps0, kSps1}));
    EXPECT_EQ(again.pps, (std::vector<std::vector<uint8_t>>{kPps0, kPps3}));
    EXPECT_EQ(again.trailer, config.trailer);
    // Annex B extradata is no avcC record.
    const uint8_t annexB[] = {0, 0, 0, 1, 0x67, 0x64, 0x00, 0x1e};
    EXPECT_FALSE(ParseAvcConfig(annexB, sizeof annexB, &again));
}

TEST(H264ParamSets, AnnexBBecomesLengthPrefixed)
{
    // Four- and three-byte start codes; a unit ending in zero bytes before the next code.
    const std::vector<uint8_t> annexB = {0, 0, 0, 1, 0x67, 0xaa, 0, 0, 1, 0x68, 0xbb, 0x00, 0, 0, 0, 1, 0x65, 0x01, 0x02};
    const auto units = SplitAnnexB(annexB.data(), annexB.size());
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0], (std::vector<uint8_t>{0x67, 0xaa}));
    EXPECT_EQ(units[2], (std::vector<uint8_t>{0x65, 0x01, 0x02}));
    EXPECT_EQ(JoinLengthPrefixed({units[2]}, 4), (std::vector<uint8_t>{0, 0, 0, 3, 0x65, 0x01, 0x02}));
    EXPECT_EQ(JoinLengthPrefixed({units[0]}, 2), (std::vector<uint8_t>{0, 2, 0x67, 0xaa}));
}

TEST(H264ParamSets, FindsIdrSlicesInEitherForm)
{
    const std::vector<uint8_t> idrAnnexB = {0, 0, 0, 1, 0x09, 0xf0, 0, 0, 1, 0x65, 0x88};
    const std::vector<uint8_t> nonIdrAnnexB = {0, 0, 0, 1, 0x06, 0x05, 0, 0, 1, 0x41, 0x9a};
    EXPECT_TRUE(HasIdrSlice(idrAnnexB.data(), idrAnnexB.size(), 0));
    EXPECT_FALSE(HasIdrSlice(nonIdrAnnexB.data(), nonIdrAnnexB.size(), 0));
    const std::vector<uint8_t> idrLength = {0, 0, 0, 2, 0x06, 0x05, 0, 0, 0, 2, 0x65, 0x88};
    const std::vector<uint8_t> nonIdrLength = {0, 0, 0, 2, 0x06, 0x05, 0, 0, 0, 2, 0x41, 0x9a};
    EXPECT_TRUE(HasIdrSlice(idrLength.data(), idrLength.size(), 4));
    EXPECT_FALSE(HasIdrSlice(nonIdrLength.data(), nonIdrLength.size(), 4));
    // A length running past the packet ends the search.
    const std::vector<uint8_t> broken = {0, 0, 0, 9, 0x65, 0x88};
    EXPECT_FALSE(HasIdrSlice(broken.data(), broken.size(), 4));
}

TEST(H264ParamSets, FirstSliceOffsetLeavesDelimiterAndSeiInFront)
{
    struct Case {
        const char *name;
        std::vector<uint8_t> packet;
        size_t offset;
    };
    const Case cases[] = {
        {"slice first", {0, 0, 1, 0x41, 0x9a}, 0},
        {"after a delimiter and SEI, four-byte start code", {0, 0, 0, 1, 0x09, 0xf0, 0, 0, 0, 1, 0x06, 0x05, 0, 0, 0, 1, 0x65, 0x88}, 12},
        {"no slice", {0, 0, 1, 0x09, 0xf0}, 5},
        {"empty", {}, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FirstSliceOffset(c.packet.data(), c.packet.size()), c.offset) << c.name;
}

TEST(H264ParamSets, TrackerFollowsTheSetsInForceById)
{
    // SPS id 0 and 1 (High profile, level 3.0), PPS id 0.
    const std::vector<uint8_t> sps0 = {0x67, 0x64, 0x00, 0x1e, 0x80};
    const std::vector<uint8_t> sps0b = {0x67, 0x64, 0x00, 0x28, 0x80};
    const std::vector<uint8_t> pps0 = {0x68, 0x80};
    const auto annexB = [](std::initializer_list<std::vector<uint8_t>> units) {
        std::vector<uint8_t> out;
        for (const auto &u : units) {
            out.insert(out.end(), {0, 0, 0, 1});
            out.insert(out.end(), u.begin(), u.end());
        }
        return out;
    };
    const std::vector<uint8_t> slice = {0x41, 0x9a, 0x00, 0x00};

    ParameterSetTracker tracker;
    EXPECT_TRUE(tracker.InForce().empty());
    const std::vector<uint8_t> extradata = annexB({sps0, pps0});
    tracker.SetInitial(extradata.data(), extradata.size());
    EXPECT_EQ(tracker.InForce(), extradata);

    // A picture without sets of its own leaves them as they were.
    const std::vector<uint8_t> plain = annexB({{0x09, 0xf0}, slice});
    EXPECT_FALSE(tracker.Observe(plain.data(), plain.size()));
    EXPECT_EQ(tracker.InForce(), extradata);

    // A new SPS of the same id replaces the old one; only an SPS and a PPS together make a
    // packet stand on its own.
    const std::vector<uint8_t> spsOnly = annexB({{0x09, 0xf0}, sps0b, slice});
    EXPECT_FALSE(tracker.Observe(spsOnly.data(), spsOnly.size()));
    EXPECT_EQ(tracker.InForce(), annexB({sps0b, pps0}));
    const std::vector<uint8_t> both = annexB({sps0, pps0, slice});
    EXPECT_TRUE(tracker.Observe(both.data(), both.size()));
    EXPECT_EQ(tracker.InForce(), extradata);

    // What follows the first slice is slice data, not searched: a start code in it is not a set.
    const std::vector<uint8_t> late = annexB({slice, sps0b});
    EXPECT_FALSE(tracker.Observe(late.data(), late.size()));
    EXPECT_EQ(tracker.InForce(), extradata);
}
