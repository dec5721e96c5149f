#include "device/wire/CommandSet.h"

#include "device/ByteOrder.h"
#include "device/Format.h"

#include <algorithm>
#include <cstring>

namespace qrb::device {

namespace {

// The clock messages show kHz with the regional decimal separator.
std::string KHzText(std::string_view pattern, int32_t hz) {
    return Format(pattern, static_cast<double>(hz) / 1000.0);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char kHexUpper[] = "0123456789ABCDEF";

} // namespace

TWireCommandSet::TWireCommandSet(TWireExchange& exchange, const TWireTraits& traits)
    : exchange_(exchange), traits_(traits) {}

std::string_view TWireCommandSet::Name(TWireCommand command) const {
    return WireCommandRow(command).Name[static_cast<size_t>(traits_.Names)];
}

bool TWireCommandSet::IndexInvalid(int index, TIndexReport how) {
    if (index >= 0 && index < exchange_.MasterCount()) return false;
    switch (how) {
    case TIndexReport::ErrorEvent:
        exchange_.Error("invalid device: " + std::to_string(index));
        break;
    case TIndexReport::I2CLog:
        exchange_.I2CLog(0, "invalid device: " + std::to_string(index));
        break;
    case TIndexReport::I2CLogPadded:
        exchange_.I2CLog(0, Format("invalid device: %2.2d", index));
        break;
    }
    return true;
}

bool TWireCommandSet::RejectIndex(int index) {
    return IndexInvalid(index, TIndexReport::ErrorEvent);
}

TI2CResult TWireCommandSet::UnknownAnswer(TWireCommand command) {
    exchange_.I2CLog(0, std::string(wiretext::UnknownAnswerHead) + std::string(Name(command)) +
                            std::string(wiretext::UnknownAnswerTail));
    return TI2CResult::irUnknownAnswer;
}

int64_t TWireCommandSet::AnswerLength() const {
    uint32_t len = answer_.PayloadLength();
    return len <= kPayloadCapacity ? static_cast<int64_t>(len) : -1;
}

int32_t TWireCommandSet::TakeStatus() {
    status_ = answer_.Status();
    return status_;
}

TI2CResult TWireCommandSet::AddressedOr(int32_t status, TI2CResult fallback) {
    if (status == -1) {
        exchange_.I2CLog(0, std::string(wiretext::NotAddressed));
        return TI2CResult::irInvalidDevice;
    }
    return fallback;
}

// Steps from finding the device entry to the accepted answer; onAnswer tests the length and
// maps the status. Every failure before it gives the traits' results.
template <class F>
TI2CResult TWireCommandSet::Run(int index, TWireCommand command, std::span<const uint8_t> payload,
                                F&& onAnswer) {
    auto body = [&]() -> TI2CResult {
        TWireDevice* device = exchange_.FindEntry(index);
        if (device == nullptr) return traits_.NoEntry;
        const TWireCommandRow& row = WireCommandRow(command);
        BuildRequest(request_, row.Group, row.Code, kDirectionRequest, device->Sequence);
        request_.SetPayload(payload);
        if (!exchange_.Exchange(*device, request_, answer_)) return traits_.Failure;
        if (!CheckResponse(answer_, kDirectionAnswer, device->Sequence)) return traits_.Failure;
        return onAnswer();
    };
    if (!traits_.ExceptionIsFailure) return body();
    try {
        return body();
    } catch (...) {
        return traits_.Failure;
    }
}

TI2CResult TWireCommandSet::GetSCL(int index, int32_t& hz) {
    hz = -1;
    if (IndexInvalid(index, TIndexReport::I2CLog)) return TI2CResult::irInvalidDevice;
    return Run(index, TWireCommand::GetSCL, {}, [&] {
        if (AnswerLength() != 4) return UnknownAnswer(TWireCommand::GetSCL);
        int32_t status = TakeStatus();
        if (status > 0) {
            hz = status;
            exchange_.I2CLog(0, KHzText(wiretext::ClockRead, status));
            return TI2CResult::irOK;
        }
        return AddressedOr(status, traits_.Failure);
    });
}

TI2CResult TWireCommandSet::SetSCL(int index, int32_t hz) {
    if (IndexInvalid(index, traits_.PaddedIndexText ? TIndexReport::I2CLogPadded : TIndexReport::I2CLog))
        return TI2CResult::irInvalidDevice;
    if (hz < 1000 || hz > 400000) {
        exchange_.I2CLog(0, std::string(wiretext::InvalidSCL) + std::to_string(hz));
        return TI2CResult::irInvalidValue;
    }
    uint8_t payload[4];
    PutI32(payload, hz);
    return Run(index, TWireCommand::SetSCL, payload, [&] {
        if (AnswerLength() != 4) return UnknownAnswer(TWireCommand::SetSCL);
        int32_t status = TakeStatus();
        if (status == hz) {
            exchange_.I2CLog(0, KHzText(wiretext::ClockSet, status));
            return TI2CResult::irOK;
        }
        if (status == -2) {
            exchange_.I2CLog(0, std::string(wiretext::ClockOutOfRange));
            return TI2CResult::irInvalidValue;
        }
        return AddressedOr(status, traits_.Failure);
    });
}

TI2CResult TWireCommandSet::ScanI2C(int index, std::string& list) {
    list.clear();
    if (IndexInvalid(index, traits_.PaddedIndexText ? TIndexReport::I2CLogPadded : TIndexReport::I2CLog))
        return TI2CResult::irInvalidDevice;
    return Run(index, TWireCommand::ScanI2C, {}, [&] {
        int64_t len = AnswerLength();
        if (len < 4) return UnknownAnswer(TWireCommand::ScanI2C);
        int32_t n = TakeStatus();
        if (n > 0) {
            if (n > len - 4) return UnknownAnswer(TWireCommand::ScanI2C); // more than the answer holds
            const uint8_t* data = answer_.AnswerData().data();
            for (int32_t i = 0; i < n; ++i) {
                if (i > 0) list += ',';
                list += std::to_string(data[i]);
            }
            return TI2CResult::irOK;
        }
        return AddressedOr(n, traits_.Failure);
    });
}

TI2CResult TWireCommandSet::WriteI2C(int index, uint8_t addr, std::string_view hexText) {
    if (IndexInvalid(index, TIndexReport::I2CLog)) return TI2CResult::irInvalidDevice;
    size_t n = hexText.size() / 2;
    if (n < 1 || n > 255) {
        exchange_.I2CLog(0, std::string(wiretext::InvalidWriteLength) + std::to_string(n));
        return TI2CResult::irInvalidWriteLength;
    }
    std::array<uint8_t, 2 + 255> payload{};
    payload[0] = addr;
    payload[1] = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; ++i) {
        int hi = HexDigit(hexText[2 * i]);
        int lo = HexDigit(hexText[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            exchange_.I2CLog(0, std::string(wiretext::InvalidWriteValue) + std::string(hexText));
            return TI2CResult::irInvalidWriteValue;
        }
        payload[2 + i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return Run(index, TWireCommand::WriteI2C, std::span<const uint8_t>(payload.data(), n + 2), [&] {
        if (AnswerLength() != 4) return UnknownAnswer(TWireCommand::WriteI2C);
        int32_t status = TakeStatus();
        if (status == static_cast<int32_t>(n)) return TI2CResult::irOK;
        return AddressedOr(status, traits_.Failure);
    });
}

TI2CResult TWireCommandSet::WriteI2CBlock(int index, uint8_t addr, std::span<const uint8_t> data) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    const size_t len = data.size();
    if (len < 1 || len > 255) {
        exchange_.Error(std::string(wiretext::InvalidWriteLength) + std::to_string(len));
        return TI2CResult::irInvalidWriteLength;
    }
    std::array<uint8_t, 2 + 255> payload{};
    payload[0] = addr;
    payload[1] = static_cast<uint8_t>(len);
    std::memcpy(payload.data() + 2, data.data(), len);
    return Run(index, TWireCommand::WriteI2CBlock, std::span<const uint8_t>(payload.data(), len + 2), [&] {
        if (AnswerLength() != 4) return UnknownAnswer(TWireCommand::WriteI2CBlock);
        int32_t status = TakeStatus();
        if (status == -1) return TI2CResult::irInvalidDevice;
        if (status == static_cast<int32_t>(len)) return TI2CResult::irOK;
        return traits_.Failure;
    });
}

TI2CResult TWireCommandSet::ReadI2C(int index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    if (len > kMaxReadLength) {
        exchange_.Error(std::string(wiretext::InvalidReadLength) + std::to_string(len));
        return TI2CResult::irInvalidReadLength;
    }
    const uint8_t payload[3] = {addr, static_cast<uint8_t>(len & 0xFF), static_cast<uint8_t>(len >> 8)};
    return Run(index, TWireCommand::ReadI2C, payload, [&] {
        int64_t answerLen = AnswerLength();
        if (answerLen < 4) return UnknownAnswer(TWireCommand::ReadI2C);
        int32_t status = TakeStatus();
        if (status == -1) return TI2CResult::irInvalidDevice;
        if (status != len) return traits_.Failure;
        // The device claims more bytes than it sent: nothing of it is used.
        if (answerLen - 4 < len) return UnknownAnswer(TWireCommand::ReadI2C);
        std::memcpy(buf.data(), answer_.AnswerData().data(), std::min<size_t>(len, buf.size()));
        return TI2CResult::irOK;
    });
}

TI2CResult TWireCommandSet::WriteReadI2C(int index, uint8_t addr, std::string_view hexText, uint16_t len,
                                         std::span<uint8_t> buf) {
    TI2CResult result = WriteI2C(index, addr, hexText);
    if (result != TI2CResult::irOK) return result;
    return ReadI2C(index, addr, len, buf);
}

TI2CResult TWireCommandSet::ScanI2CMux(int index, std::vector<std::string>& list) {
    list.clear();
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    return Run(index, TWireCommand::ScanI2CMux, {}, [&] {
        int64_t len = AnswerLength();
        if (len < 4) return UnknownAnswer(TWireCommand::ScanI2CMux);
        int32_t n = TakeStatus();
        if (n >= 0) {
            if (n > len - 4) return UnknownAnswer(TWireCommand::ScanI2CMux); // more than the answer holds
            const uint8_t* data = answer_.AnswerData().data();
            for (int32_t i = 0; i < n; ++i)
                list.push_back(std::string{kHexUpper[data[i] >> 4], kHexUpper[data[i] & 15]});
            return TI2CResult::irOK;
        }
        if (n == -1) exchange_.I2CLog(0, std::string(wiretext::NotAddressed));
        return traits_.Failure;
    });
}

TI2CResult TWireCommandSet::WriteSeq(int index, uint8_t seqId, std::span<const uint8_t> data, uint8_t len,
                                     std::span<uint8_t> answer) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    std::array<uint8_t, 1 + 255> payload{};
    payload[0] = seqId;
    std::memcpy(payload.data() + 1, data.data(), std::min<size_t>(len, data.size()));
    return Run(index, TWireCommand::WriteSeq, std::span<const uint8_t>(payload.data(), len + 1u), [&] {
        int64_t answerLen = AnswerLength();
        if (answerLen <= 1) return UnknownAnswer(TWireCommand::WriteSeq);
        const uint8_t* from = answer_.Bytes.data() + kPayloadOffset + 1;
        std::memcpy(answer.data(), from, std::min<size_t>(static_cast<size_t>(answerLen - 1), answer.size()));
        status_ = answer_.Bytes[kPayloadOffset];
        if (status_ == 1) {
            exchange_.I2CLog(0, std::string(wiretext::NotAddressed));
            return TI2CResult::irInvalidDevice;
        }
        if (status_ == 0) return TI2CResult::irOK;
        return traits_.Failure;
    });
}

TI2CResult TWireCommandSet::WriteChannel(int index, uint8_t channel, uint8_t adc8LowVal,
                                         const TRegisterImage& image, std::span<uint8_t> answer) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    std::array<uint8_t, 2 + TRegisterImage::Size> payload{};
    payload[0] = channel;
    payload[1] = adc8LowVal;
    image.Encode(payload.data() + 2);
    return Run(index, TWireCommand::WriteChannel, payload, [&] {
        int64_t answerLen = AnswerLength();
        if (answerLen <= 3) return UnknownAnswer(TWireCommand::WriteChannel);
        // The verify data after the status, cut to the caller's buffer.
        const size_t dataLen = static_cast<size_t>(answerLen - 4);
        std::memcpy(answer.data(), answer_.AnswerData().data(), std::min(dataLen, answer.size()));
        int32_t status = TakeStatus();
        if (status == 0) return TI2CResult::irOK;
        if (status > 0) return traits_.Failure;
        if (status >= -10)
            exchange_.I2CLog(2, std::string(kWriteChannelStatusTexts[static_cast<size_t>(-status - 1)]));
        return TI2CResult::irDeviceError;
    });
}

TI2CResult TWireCommandSet::SaveAllConfig(int index, uint8_t channel) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    const uint8_t payload[1] = {channel};
    return Run(index, TWireCommand::SaveAllConfig, payload, [&] {
        if (AnswerLength() != 4) return UnknownAnswer(TWireCommand::SaveAllConfig);
        if (TakeStatus() == 0) return TI2CResult::irOK;
        exchange_.Error(std::string(wiretext::ConfigWriteError));
        return TI2CResult::irDeviceError;
    });
}

TI2CResult TWireCommandSet::GetDeviceInfo(int index, TDeviceInfo& info) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    return Run(index, TWireCommand::GetDeviceInfo, {}, [&] {
        int64_t len = AnswerLength();
        if (len != 36 && len != 32) return UnknownAnswer(TWireCommand::GetDeviceInfo);
        TDeviceInfo::Decode(answer_.AnswerData().data(), answer_.AnswerData().size(), info);
        return TI2CResult::irOK;
    });
}

TI2CResult TWireCommandSet::GetChannelInfo(int index, TChannelInfoBlock& block) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    return Run(index, TWireCommand::GetChannelInfo, {}, [&] {
        if (AnswerLength() != 4 + static_cast<int64_t>(TChannelInfoBlock::Size))
            return UnknownAnswer(TWireCommand::GetChannelInfo);
        TChannelInfoBlock::Decode(answer_.AnswerData().data(), answer_.AnswerData().size(), block);
        return TI2CResult::irOK;
    });
}

TI2CResult TWireCommandSet::SetChannelInfo(int index, int32_t channel, const TChannelInfo& info) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    std::array<uint8_t, 1 + TChannelInfo::Size> payload{};
    payload[0] = static_cast<uint8_t>(channel);
    info.Encode(payload.data() + 1);
    return Run(index, TWireCommand::SetChannelInfo, payload, [&] {
        if (AnswerLength() != 4) return UnknownAnswer(TWireCommand::SetChannelInfo);
        return static_cast<TI2CResult>(TakeStatus());
    });
}

TI2CResult TWireCommandSet::GetDCDCInfo(int index, TDCDCInfo& info) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    return Run(index, TWireCommand::GetDCDCInfo, {}, [&] {
        if (AnswerLength() != 4 + static_cast<int64_t>(TDCDCInfo::Size))
            return UnknownAnswer(TWireCommand::GetDCDCInfo);
        TDCDCInfo::Decode(answer_.AnswerData().data(), answer_.AnswerData().size(), info);
        return TI2CResult::irOK;
    });
}

TI2CResult TWireCommandSet::SetDCDCInfo(int index, const TDCDCInfo& info) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    auto payload = ToBytes(info);
    return Run(index, TWireCommand::SetDCDCInfo, payload, [&] {
        if (AnswerLength() != 4) return UnknownAnswer(TWireCommand::SetDCDCInfo);
        return static_cast<TI2CResult>(TakeStatus());
    });
}

TI2CResult TWireCommandSet::SetDCDCClock(int index, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                                         uint8_t b4) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    const uint8_t payload[5] = {b0, b1, b2, b3, b4};
    return Run(index, TWireCommand::SetDCDCClock, payload, [&] {
        if (AnswerLength() != 4) return UnknownAnswer(TWireCommand::SetDCDCClock);
        return static_cast<TI2CResult>(TakeStatus());
    });
}

TI2CResult TWireCommandSet::GetChannelCalibTable(int index, uint8_t channel, TChannelCalibTable& table) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    const uint8_t payload[1] = {channel};
    return Run(index, TWireCommand::GetChannelCalibTable, payload, [&] {
        if (AnswerLength() <= 4) return UnknownAnswer(TWireCommand::GetChannelCalibTable);
        TChannelCalibTable::Decode(answer_.AnswerData().data(), answer_.AnswerData().size(), table);
        return TI2CResult::irOK;
    });
}

TI2CResult TWireCommandSet::GetMasterflash(int index, TMasterFlash& flash) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    return Run(index, TWireCommand::GetMasterflash, {}, [&] {
        if (AnswerLength() != 4 + static_cast<int64_t>(TMasterFlash::Size))
            return UnknownAnswer(TWireCommand::GetMasterflash);
        TMasterFlash::Decode(answer_.AnswerData().data(), answer_.AnswerData().size(), flash);
        return TI2CResult::irOK;
    });
}

TI2CResult TWireCommandSet::SetMasterflash(int index, const TMasterFlash& flash) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    auto payload = ToBytes(flash);
    return Run(index, TWireCommand::SetMasterflash, payload, [&] {
        if (AnswerLength() != 4) return UnknownAnswer(TWireCommand::SetMasterflash);
        return TakeStatus() == 0 ? TI2CResult::irOK : TI2CResult::irUnknownAnswer;
    });
}

TI2CResult TWireCommandSet::GetDeviceADC8(int index, TDeviceADC8& status, bool& changed) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    return Run(index, TWireCommand::GetDeviceADC8, {}, [&] {
        if (AnswerLength() != 4 + static_cast<int64_t>(TDeviceADC8::Size))
            return UnknownAnswer(TWireCommand::GetDeviceADC8);
        changed = TakeStatus() != 0;
        TDeviceADC8::Decode(answer_.AnswerData().data(), answer_.AnswerData().size(), status);
        return TI2CResult::irOK;
    });
}

TI2CResult TWireCommandSet::SetMux(int index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    const uint8_t payload[3] = {ondrixMux, channelMux, pathMux};
    return Run(index, TWireCommand::SetMux, payload, [&] {
        if (AnswerLength() != 4) {
            exchange_.I2CLog(0, std::string(wiretext::SetMuxUnknown));
            return TI2CResult::irUnknownAnswer;
        }
        int32_t status = TakeStatus();
        if (status == 0) return TI2CResult::irOK;
        if (status == -1) return AddressedOr(status, traits_.Failure);
        std::string text;
        for (const TSetMuxBit& bit : kSetMuxBits)
            if ((static_cast<uint32_t>(status) & bit.Bit) != 0) text += bit.Text;
        if (!text.empty()) exchange_.I2CLog(0, text);
        return traits_.Failure;
    });
}

TI2CResult TWireCommandSet::SetFan(int index, uint8_t speed) {
    return SetModeByte(index, TWireCommand::SetFan, speed, 4, wiretext::InvalidSpeed, wiretext::InvalidFan);
}

TI2CResult TWireCommandSet::SetIRQ(int index, uint8_t mode) {
    return SetModeByte(index, TWireCommand::SetIRQ, mode, 2, wiretext::InvalidIRQMode, wiretext::InvalidIRQ);
}

TI2CResult TWireCommandSet::SetModeByte(int index, TWireCommand command, uint8_t value, uint8_t max,
                                        std::string_view invalidValue, std::string_view refused) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    if (value > max) {
        exchange_.Error(std::string(invalidValue) + std::to_string(value));
        return TI2CResult::irInvalidDevice;
    }
    const uint8_t payload[1] = {value};
    return Run(index, command, payload, [&] {
        if (AnswerLength() != 4) return UnknownAnswer(command);
        int32_t status = TakeStatus();
        if (status == 1) return TI2CResult::irOK;
        if (status == 0) {
            exchange_.I2CLog(0, std::string(refused));
            return TI2CResult::irInvalidDevice;
        }
        return traits_.Failure;
    });
}

bool TWireCommandSet::GetDeviceLockState(int index) {
    if (RejectIndex(index)) return false;
    bool locked = false;
    Run(index, TWireCommand::GetDeviceLockState, {}, [&] {
        if (AnswerLength() != 8) return UnknownAnswer(TWireCommand::GetDeviceLockState);
        int32_t status = TakeStatus();
        if (status != 0) {
            exchange_.I2CLog(0, std::string(wiretext::LockStateError));
            return traits_.Failure;
        }
        locked = GetU32(answer_.AnswerData().data()) == 1;
        return TI2CResult::irOK;
    });
    return locked;
}

TI2CResult TWireCommandSet::SetDeviceLockState(int index, bool locked) {
    if (RejectIndex(index)) return TI2CResult::irInvalidDevice;
    const uint8_t payload[1] = {static_cast<uint8_t>(locked ? 1 : 0)};
    return Run(index, TWireCommand::SetDeviceLockState, payload, [&] {
        if (AnswerLength() != 4) {
            UnknownAnswer(TWireCommand::SetDeviceLockState);
            return traits_.Failure;
        }
        if (TakeStatus() == 0) return TI2CResult::irOK;
        exchange_.I2CLog(0, std::string(wiretext::SetLockStateError));
        return traits_.Failure;
    });
}

void TWireCommandSet::GetFWVersion(int index, TFWVersion& version, std::string& text) {
    text = wiretext::FWUnknown;
    version = TFWVersion{};
    if (RejectIndex(index)) return;
    Run(index, TWireCommand::GetFWVersion, {}, [&] {
        if (AnswerLength() != 4 + static_cast<int64_t>(TFWVersion::Size))
            return UnknownAnswer(TWireCommand::GetFWVersion);
        TFWVersion::Decode(answer_.AnswerData().data(), answer_.AnswerData().size(), version);
        if (TakeStatus() != 0) {
            exchange_.I2CLog(0, std::string(wiretext::FWVersionError));
            return traits_.Failure;
        }
        const auto& c = version.Components;
        text = Format(wiretext::FWText, c[0], c[1], c[2], c[3]);
        return TI2CResult::irOK;
    });
}

void TWireCommandSet::GetVendor(int index, std::string& text) {
    text = wiretext::NotAvailable;
    if (!RejectIndex(index)) text = wiretext::Vendor;
}

void TWireCommandSet::GetModel(int index, std::string& text) {
    text = wiretext::NotAvailable;
    if (!RejectIndex(index)) text = wiretext::Model;
}

void TWireCommandSet::GetVersion(int index, std::string& text) {
    text = wiretext::NotAvailable;
    if (!RejectIndex(index)) text = wiretext::Version;
}

uint16_t TWireCommandSet::IsDeviceValid(int index) {
    if (RejectIndex(index)) return 0;
    return exchange_.FindEntry(index) != nullptr ? 1 : 0;
}

} // namespace qrb::device
