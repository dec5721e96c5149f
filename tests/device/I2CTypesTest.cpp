#include "device/I2CTypes.h"

#include <gtest/gtest.h>
#include <type_traits>

using namespace qrb::device;

TEST(I2CTypes, KindsAndMasksDoNotMix) {
    static_assert(!std::is_convertible_v<TInterfaceKind, TInterfaceMask>);
    static_assert(!std::is_convertible_v<uint16_t, TInterfaceMask>);
    static_assert(!std::is_convertible_v<TI2CResult, int>);
    TInterfaceMask m = kMaskUSB | kMaskOffline;
    EXPECT_TRUE(m.HasUSB());
    EXPECT_FALSE(m.HasLAN());
    EXPECT_TRUE(m.HasOffline());
    EXPECT_TRUE(TInterfaceMask(1 | 8).Empty()); // bits other than 2, 4, 16 are ignored
    EXPECT_EQ(ToInt(TI2CResult::irUnknownInterface), 100);
}

// Every result code by number: devices, logs and error texts carry them as integers.
TEST(I2CTypes, ResultCodesByNumber) {
    struct TCase {
        TI2CResult Result;
        int32_t Value;
    };
    const TCase cases[] = {
        {TI2CResult::irOK, 0},
        {TI2CResult::irTransferFailed, 1},
        {TI2CResult::irInvalidReadLength, 5},
        {TI2CResult::irInvalidWriteLength, 6},
        {TI2CResult::irNoAnswer, 7},
        {TI2CResult::irInvalidSpeed, 9},
        {TI2CResult::irInvalidDevice, 10},
        {TI2CResult::irInvalidValue, 11},
        {TI2CResult::irUnknownAnswer, 12},
        {TI2CResult::irInvalidWriteValue, 13},
        {TI2CResult::irDeviceError, 15},
        {TI2CResult::irUnknownInterface, 100},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(ToInt(c.Result), c.Value);
        EXPECT_EQ(IsOK(c.Result), c.Value == 0) << c.Value;
    }
}
