#include "device/HWVocabulary.h"

namespace qrb::device {

// clang-format off
const std::array<TDefaultChannelInfo, kHardwareRowCount> kDefaultChannelInfo = {{
    // row 0
    {
        /* Defaults  */ {0x0000, 0xAAAA, 0x2A2A, 0x251B, 0x02D3, 0x0000, 0xCCCC, 0x0800, 0x0800},
        /* MaskI     */ {0x0000, 0x0000, 0xC040, 0x0000, 0xFC00, 0x0000, 0x0000},
        /* MaskO     */ {0x0000, 0x0000, 0x0080, 0xE067, 0x0047, 0x0000, 0x0000},
        /* MaskIO    */ {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000},
        /* MaskP     */ {0x0000, 0xFFFF, 0x3F3F, 0x1F98, 0x0000, 0x0000, 0xF7FD},
        /* MaskDirty */ {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
    },
    // row 1
    {
        /* Defaults  */ {0x0000, 0x9595, 0x2A6A, 0x255B, 0x0AAB, 0x0116, 0xC9CA, 0x0000, 0x0800},
        /* MaskI     */ {0x0000, 0x0000, 0xC000, 0x0020, 0x8000, 0xFE00, 0x0000},
        /* MaskO     */ {0x0000, 0x0000, 0x00C0, 0xE047, 0x7C27, 0x01C0, 0x0000},
        /* MaskIO    */ {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000},
        /* MaskP     */ {0x0000, 0xFFFF, 0x3F3F, 0x1F98, 0x03D8, 0x003F, 0xFFFF},
        /* MaskDirty */ {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
    },
}};

// Bracketed parts name the relay or chip pin; "[nc]" marks an unconnected bit. The missing
// brackets and the doubled "TEDS9" are the device's own names.
const std::array<std::array<std::string_view, 16>, kBitNameWords> kRegisterBitNames = {{
    {{ // word 0
        "TEDS0", // 0
        "TEDS1", // 1
        "TEDS2", // 2
        "TEDS3", // 3
        "TEDS4", // 4
        "TEDS5", // 5
        "TEDS6", // 6
        "TEDS7", // 7
        "TEDS9", // 8
        "TEDS9", // 9
        "TEDSA", // 10
        "TEDSB", // 11
        "TEDSC", // 12
        "TEDSD", // 13
        "TEDSE", // 14
        "TEDSF", // 15
    }},
    {{ // word 1
        "Offset Off [RL24-P1]", // 0
        "Offset On [RL24-P0]", // 1
        "PreDivP [RL18-P0]", // 2
        "PreDivP [RL18-P1]", // 3
        "PreDivGNDP[RL19-P0]", // 4
        "PreDivGNDP[RL19-P1]", // 5
        "Gain10 [RL21-P0]", // 6
        "Gain1 [RL21-P1]", // 7
        "PreDiv [RL16-P1]", // 8
        "PreDiv [RL16-P0]", // 9
        "PreDivGNDN [RL14-P0]", // 10
        "PreDivGNDN[RL14-P1]", // 11
        "PreDivN [RL15-P0]", // 12
        "PreDivN [RL15-P1]", // 13
        "PreDivGND [RL17-P0]", // 14
        "PreDivGND [RL17-P1]", // 15
    }},
    {{ // word 2
        "Gain 40 67 [RL23-P0]", // 0
        "Gain 2 4 6.7 20 [RL23-P1]", // 1
        "Gain 6.7 20 40 [RL25-P0]", // 2
        "Gain 2 4 67 [RL25-P1]", // 3
        "Gain 4 20 [RL26-P0]", // 4
        "Gain 2 6.7 [RL26-P1]", // 5
        "[nc]", // 6
        "Offset DAC Filter Off [U3-O0]", // 7
        "Monitor on [RL20-P0]", // 8
        "Monitor Off [RL20-P1]", // 9
        "Gain10 AD797out [RL22-P0]", // 10
        "Gain1 OPA627 out [RL22-P1]", // 11
        "OutputFilterB (8MHz) [RL27-P0]", // 12
        "OutputFilterA (Off) [RL27-P1]", // 13
        "[nc]", // 14
        "[nc]", // 15
    }},
    {{ // word 3
        "MuxRef P A2 [U1-O1]", // 0
        "MuxRef P A1 [U1-O1]", // 1
        "LED1 [LED1-O0]", // 2
        "QtrLoad Off [RL29(12P)-P1]", // 3
        "PwrOut At ODU [RL9(13P)-P1]", // 4
        "[nc]", // 5
        "TEDS Power Off [T1 U4-O1]", // 6
        "Qtr120R [RL1(291N)-P0]", // 7
        "Qtr350R [RL1(291N)-P1]", // 8
        "PwrOut At BNC [RL9(13N)-P0]", // 9
        "ODU Gnd&Shield open [RL5(9P)-P1]", // 10
        "QtrLoad On [RL29(12N)-P0]", // 11
        "ODU Gnd&Shield connected [RL5(9N)-P0]", // 12
        "MuxRef P A0 [U1-O1]", // 13
        "LED2 [LED2-O0]", // 14
        "PwrFilter [U28-O0]", // 15
    }},
    {{ // word 4
        "MuxRef N A0 [O1]", // 0
        "MuxRef N A2 [O1]", // 1
        "DMS NegRefCableDelta [U26-O0]", // 2
        "TEDS off [RL10(15P)-P1]", // 3
        "Shunt 25R [RL8(4N)-P0", // 4
        "MuxRef N A1 [O1]", // 5
        "TEDS on [RL10(15N)-P0]", // 6
        "Sense off [RL6(16P)-P1", // 7
        "Sense on [RL6(16N)-P0]", // 8
        "Shunt off [RL8(4P)-P1", // 9
        "DMS Pwr on [O0]", // 10
        "DMS (QtrBridgeLoadedSense) [U281-O0]", // 11
        "Current out [U21-O0]", // 12
        "Analog Status Off [U32-O0]", // 13
        "Pwr=10V(for Current out)[U27-O0]", // 14
        "[nc]", // 15
    }},
    {{ // word 5
        "Charge HP 0.1Hz [RL31P-P0]", // 0
        "Charge HP 1Hz [RL31N-P1]", // 1
        "Charge 10nF [RL32N-P1]", // 2
        "Charge 100pF [RL32P-P0]", // 3
        "Charge Input Off [RL30P-P1]", // 4
        "Charge Input On [RL30N-P0]", // 5
        "ChargeACout [U73-O0]", // 6
        "nChargeClear [U74-O0]", // 7
        "Charge Clearmode [U74-O1]", // 8
        "[nc]", // 9
        "[nc]", // 10
        "[nc]", // 11
        "[nc]", // 12
        "[nc]", // 13
        "[nc]", // 14
        "[nc]", // 15
    }},
    {{ // word 6
        "Coupling N RefN2 DC [RL13(11N)-P0]", // 0
        "Shunt 100K off [RL7(14P-P1]", // 1
        "Coupling P hiAC DC [RL11(5N)-P0]", // 2
        "Source BNC [RL4(7P)-P1]", // 3
        "Current Out [RL28(29N)-P0]", // 4
        "BNC N on [RL3(10P)-P0]", // 5
        "BNC P Shield=GND [RL2(8P)-P1]", // 6
        "BNC N off [RL3(10N)-P1]", // 7
        "Volt out [RL28(29P)-P1]", // 8
        "BNC P Shield=Input N [RL2(8N)-P0]", // 9
        "Source BNC [RL4(7N)-P0]", // 10
        "Coupling N loAC RefN1 [RL13(11P)-P1]", // 11
        "Coupling P loAC hiAC N loAC RefN2 [RL13(6N)-P0]", // 12
        "Shunt 100K on [RL7(14N-P0]", // 13
        "Coupling P RefP DC N RefN1 DC [RL13(6P)-P1]", // 14
        "Coupling P loAC RefP [RL11(5P)-P1]", // 15
    }},
}};

const std::array<uint8_t, 256> kOneWireCRC8Table = {
    0x00, 0x5E, 0xBC, 0xE2, 0x61, 0x3F, 0xDD, 0x83, 0xC2, 0x9C, 0x7E, 0x20, 0xA3, 0xFD, 0x1F, 0x41,
    0x9D, 0xC3, 0x21, 0x7F, 0xFC, 0xA2, 0x40, 0x1E, 0x5F, 0x01, 0xE3, 0xBD, 0x3E, 0x60, 0x82, 0xDC,
    0x23, 0x7D, 0x9F, 0xC1, 0x42, 0x1C, 0xFE, 0xA0, 0xE1, 0xBF, 0x5D, 0x03, 0x80, 0xDE, 0x3C, 0x62,
    0xBE, 0xE0, 0x02, 0x5C, 0xDF, 0x81, 0x63, 0x3D, 0x7C, 0x22, 0xC0, 0x9E, 0x1D, 0x43, 0xA1, 0xFF,
    0x46, 0x18, 0xFA, 0xA4, 0x27, 0x79, 0x9B, 0xC5, 0x84, 0xDA, 0x38, 0x66, 0xE5, 0xBB, 0x59, 0x07,
    0xDB, 0x85, 0x67, 0x39, 0xBA, 0xE4, 0x06, 0x58, 0x19, 0x47, 0xA5, 0xFB, 0x78, 0x26, 0xC4, 0x9A,
    0x65, 0x3B, 0xD9, 0x87, 0x04, 0x5A, 0xB8, 0xE6, 0xA7, 0xF9, 0x1B, 0x45, 0xC6, 0x98, 0x7A, 0x24,
    0xF8, 0xA6, 0x44, 0x1A, 0x99, 0xC7, 0x25, 0x7B, 0x3A, 0x64, 0x86, 0xD8, 0x5B, 0x05, 0xE7, 0xB9,
    0x8C, 0xD2, 0x30, 0x6E, 0xED, 0xB3, 0x51, 0x0F, 0x4E, 0x10, 0xF2, 0xAC, 0x2F, 0x71, 0x93, 0xCD,
    0x11, 0x4F, 0xAD, 0xF3, 0x70, 0x2E, 0xCC, 0x92, 0xD3, 0x8D, 0x6F, 0x31, 0xB2, 0xEC, 0x0E, 0x50,
    0xAF, 0xF1, 0x13, 0x4D, 0xCE, 0x90, 0x72, 0x2C, 0x6D, 0x33, 0xD1, 0x8F, 0x0C, 0x52, 0xB0, 0xEE,
    0x32, 0x6C, 0x8E, 0xD0, 0x53, 0x0D, 0xEF, 0xB1, 0xF0, 0xAE, 0x4C, 0x12, 0x91, 0xCF, 0x2D, 0x73,
    0xCA, 0x94, 0x76, 0x28, 0xAB, 0xF5, 0x17, 0x49, 0x08, 0x56, 0xB4, 0xEA, 0x69, 0x37, 0xD5, 0x8B,
    0x57, 0x09, 0xEB, 0xB5, 0x36, 0x68, 0x8A, 0xD4, 0x95, 0xCB, 0x29, 0x77, 0xF4, 0xAA, 0x48, 0x16,
    0xE9, 0xB7, 0x55, 0x0B, 0x88, 0xD6, 0x34, 0x6A, 0x2B, 0x75, 0x97, 0xC9, 0x4A, 0x14, 0xF6, 0xA8,
    0x74, 0x2A, 0xC8, 0x96, 0x15, 0x4B, 0xA9, 0xF7, 0xB6, 0xE8, 0x0A, 0x54, 0xD7, 0x89, 0x6B, 0x35,
};
// clang-format on

static_assert(kMasterFlashMagic == TMasterFlash::MagicText);

TRegisterImage DefaultRegisterImage(std::size_t row) {
    TRegisterImage image;
    if (row < kDefaultChannelInfo.size()) image.Words = kDefaultChannelInfo[row].Defaults;
    return image;
}

bool ApplyDefaultChannelInfo(TChannelInfo& info, std::size_t row) {
    if (row >= kDefaultChannelInfo.size()) return false;
    const TDefaultChannelInfo& defaults = kDefaultChannelInfo[row];
    info.Defaults.Words = defaults.Defaults;
    info.MaskI = defaults.MaskI;
    info.MaskO = defaults.MaskO;
    info.MaskIO = defaults.MaskIO;
    info.MaskP = defaults.MaskP;
    info.MaskDirty = defaults.MaskDirty;
    return true;
}

std::string_view RegisterBitName(unsigned word, unsigned bit) {
    if (word >= kRegisterBitNames.size() || bit >= 16) return {};
    return kRegisterBitNames[word][bit];
}

uint8_t OneWireCRC8(std::span<const uint8_t> bytes) {
    uint8_t crc = 0;
    for (uint8_t b : bytes)
        crc = OneWireCRC8Step(crc, b);
    return crc;
}

} // namespace qrb::device
