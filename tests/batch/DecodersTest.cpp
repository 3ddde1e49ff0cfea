#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "DecodeCost.h"
#include "Decoders.h"

namespace {

std::string Data(const char* name) { return std::string(TOVALI_TEST_DATA) + "/" + name; }

// True when the call is still blocked after a moment.
template <class T>
bool Blocked(std::future<T>& f) {
    return f.wait_for(std::chrono::milliseconds(100)) == std::future_status::timeout;
}

}  // namespace

TEST(DecodeCost, HeadersTellTheRasterAndTheDecodersPeak) {
    const TDecodeCost baseline = EstimateDecodeCost(Data("jpeg/colour.jpg"));
    EXPECT_EQ(baseline.RasterBytes, 96u * 64 * 3);
    EXPECT_EQ(baseline.PeakBytes, baseline.RasterBytes);
    // 4:4:4 progressive: three components of 12 x 8 blocks of 64 two-byte coefficients.
    const TDecodeCost progressive = EstimateDecodeCost(Data("jpeg/progressive.jpg"));
    EXPECT_EQ(progressive.RasterBytes, 96u * 64 * 3);
    EXPECT_EQ(progressive.PeakBytes, 96u * 64 * 3 + 3 * 12 * 8 * 64 * 2);
    EXPECT_EQ(EstimateDecodeCost(Data("png/basn2c08.png")).RasterBytes, 32u * 32 * 3);
    EXPECT_EQ(EstimateDecodeCost(Data("no/such.jpg")).PeakBytes, 0u);
    EXPECT_EQ(EstimateDecodeCost(Data("png/basn2c08.png.jpg")).PeakBytes, 0u);
}

TEST(DecoderSlots, TwoPlainDecodesShareTheSlots) {
    TSlots slots;
    const int a = slots.Acquire(0, {72, 72});
    const int b = slots.Acquire(1, {61, 61});
    EXPECT_NE(a, b);
    auto third = std::async(std::launch::async, [&] { return slots.Acquire(2, {1, 1}); });
    EXPECT_TRUE(Blocked(third)) << "only two slots";
    slots.Release(b);
    EXPECT_EQ(third.get(), b);
    slots.Release(a);
    slots.Release(b);
}

TEST(DecoderSlots, ADecodeThatNeedsMoreThanTwoRastersRunsAlone) {
    TSlots slots;
    const int plain = slots.Acquire(0, {72, 72});
    auto progressive = std::async(std::launch::async, [&] { return slots.Acquire(1, {50, 150}); });
    EXPECT_TRUE(Blocked(progressive));
    // The file after it waits too: files take the slots in order.
    auto next = std::async(std::launch::async, [&] { return slots.Acquire(2, {1, 1}); });
    EXPECT_TRUE(Blocked(next));
    slots.Release(plain);
    const int alone = progressive.get();
    EXPECT_TRUE(Blocked(next));
    // Once decoded, only its picture counts.
    slots.Decoded(alone);
    EXPECT_NE(next.get(), alone);
}
