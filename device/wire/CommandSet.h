#pragma once
// The device operations of the wire transports: one request/answer exchange of a command
// block each. Both wire transports use this one implementation; they differ only in the
// exchange they plug in and in the traits below.

#include "device/I2CTypes.h"
#include "device/Records.h"
#include "device/wire/CommandBlock.h"
#include "device/wire/CommandTable.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::device {

// A transport's device entry (USB device, LAN connection); it owns the request counter.
class TWireDevice {
public:
    virtual ~TWireDevice() = default;
    TSequenceNumber Sequence;
};

// What a wire transport provides to the command set.
class TWireExchange {
public:
    virtual ~TWireExchange() = default;

    // Transport services of the abstract transport.
    virtual int MasterCount() const = 0;
    virtual void I2CLog(int level, const std::string& text) = 0;
    virtual void Error(const std::string& text) = 0;

    // The device entry behind a valid index; nullptr when there is none.
    virtual TWireDevice* FindEntry(int index) = 0;
    // Sends the request and receives one answer block; false on any failure of the transfer.
    virtual bool Exchange(TWireDevice& device, const TCommandBlock& request, TCommandBlock& answer) = 0;
};

// How the two wire transports differ.
struct TWireTraits {
    TI2CResult Failure;      // the exchange itself failed
    TI2CResult NoEntry;      // no device entry behind a valid index
    TNameColumn Names;       // message names of the commands
    bool PaddedIndexText;    // SetSCL and ScanI2C write the index as "%2.2d"
    bool ExceptionIsFailure; // an exception in exchange or answer handling gives Failure
};

inline constexpr TWireTraits kUSBWireTraits{TI2CResult::irTransferFailed, TI2CResult::irTransferFailed,
                                            TNameColumn::USB, true, false};
inline constexpr TWireTraits kLANWireTraits{TI2CResult::irNoAnswer, TI2CResult::irInvalidDevice,
                                            TNameColumn::LAN, false, true};

// Buffers of WriteSeq; callers of WriteChannel provide the same size.
inline constexpr size_t kSeqBufferSize = 1024;
inline constexpr uint16_t kMaxReadLength = 1024;

class TWireCommandSet {
public:
    TWireCommandSet(TWireExchange& exchange, const TWireTraits& traits);

    TI2CResult GetSCL(int index, int32_t& hz);
    TI2CResult SetSCL(int index, int32_t hz);
    TI2CResult ScanI2C(int index, std::string& list);
    TI2CResult WriteI2C(int index, uint8_t addr, std::string_view hexText);
    // The length is the data's size.
    TI2CResult WriteI2CBlock(int index, uint8_t addr, std::span<const uint8_t> data);
    // buf must hold len bytes; nothing beyond len is written.
    TI2CResult ReadI2C(int index, uint8_t addr, uint16_t len, std::span<uint8_t> buf);
    TI2CResult WriteReadI2C(int index, uint8_t addr, std::string_view hexText, uint16_t len,
                            std::span<uint8_t> buf);
    TI2CResult ScanI2CMux(int index, std::vector<std::string>& list);
    TI2CResult WriteSeq(int index, uint8_t seqId, std::span<const uint8_t> data, uint8_t len,
                        std::span<uint8_t> answer);
    TI2CResult WriteChannel(int index, uint8_t channel, uint8_t adc8LowVal, const TRegisterImage& image,
                            std::span<uint8_t> answer);
    TI2CResult SaveAllConfig(int index, uint8_t channel);
    TI2CResult GetDeviceInfo(int index, TDeviceInfo& info);
    TI2CResult GetChannelInfo(int index, TChannelInfoBlock& block);
    TI2CResult SetChannelInfo(int index, int32_t channel, const TChannelInfo& info);
    TI2CResult GetDCDCInfo(int index, TDCDCInfo& info);
    TI2CResult SetDCDCInfo(int index, const TDCDCInfo& info);
    TI2CResult SetDCDCClock(int index, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4);
    TI2CResult GetChannelCalibTable(int index, uint8_t channel, TChannelCalibTable& table);
    TI2CResult GetMasterflash(int index, TMasterFlash& flash);
    TI2CResult SetMasterflash(int index, const TMasterFlash& flash);
    TI2CResult GetDeviceADC8(int index, TDeviceADC8& status, bool& changed);
    TI2CResult SetMux(int index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux);
    TI2CResult SetFan(int index, uint8_t speed);
    TI2CResult SetIRQ(int index, uint8_t mode);
    bool GetDeviceLockState(int index);
    TI2CResult SetDeviceLockState(int index, bool locked);
    void GetFWVersion(int index, TFWVersion& version, std::string& text);

    // The operations that send nothing (GetDeviceName is the transport's own).
    void GetVendor(int index, std::string& text);
    void GetModel(int index, std::string& text);
    void GetVersion(int index, std::string& text);
    uint16_t IsDeviceValid(int index);

    // True (and the index message sent to the error event) when index is no device.
    bool RejectIndex(int index);

    const TCommandBlock& Request() const { return request_; }
    const TCommandBlock& Answer() const { return answer_; }
    int32_t LastStatus() const { return status_; }

private:
    enum class TIndexReport { ErrorEvent, I2CLog, I2CLogPadded };

    template <class F>
    TI2CResult Run(int index, TWireCommand command, std::span<const uint8_t> payload, F&& onAnswer);
    // SetFan and SetIRQ: one byte up to max (else invalidValue and the value to the error event);
    // status 1 accepts, 0 is the device's refusal (refused to the I2C log).
    TI2CResult SetModeByte(int index, TWireCommand command, uint8_t value, uint8_t max,
                           std::string_view invalidValue, std::string_view refused);

    bool IndexInvalid(int index, TIndexReport how);
    std::string_view Name(TWireCommand command) const;
    TI2CResult UnknownAnswer(TWireCommand command);
    // The answer's PayloadLength when it lies within the payload, else none (-1).
    int64_t AnswerLength() const;
    int32_t TakeStatus();
    TI2CResult AddressedOr(int32_t status, TI2CResult fallback);

    TWireExchange& exchange_;
    TWireTraits traits_;
    TCommandBlock request_;
    TCommandBlock answer_;
    int32_t status_ = 0;
};

} // namespace qrb::device
