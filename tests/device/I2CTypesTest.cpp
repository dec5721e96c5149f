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
