#pragma once
// One amplifier device of the model.

#include "device/Format.h"
#include "device/I2CTypes.h"
#include "device/Records.h"

#include <string>

namespace qrb::model {

class TI2CTranslator;

// The device calls a master makes; the translator hands in its hardware abstraction's.
class TMasterDeviceAccess {
public:
    virtual ~TMasterDeviceAccess() = default;
    virtual device::TI2CResult GetMasterflash(int device, device::TMasterFlash& flash) = 0;
    virtual device::TI2CResult SetMasterflash(int device, const device::TMasterFlash& flash) = 0;
    virtual device::TI2CResult GetDCDCInfo(int device, device::TDCDCInfo& info) = 0;
};

class TQRBRawMaster {
public:
    // Reads the master flash and the DC/DC information. Throws std::runtime_error without a
    // translator (or its device access) and when the master flash cannot be read.
    TQRBRawMaster(int device, std::string deviceName, TI2CTranslator* translator, device::TInterfaceKind kind,
                  TMasterDeviceAccess* access);
    TQRBRawMaster(const TQRBRawMaster&) = delete;
    TQRBRawMaster& operator=(const TQRBRawMaster&) = delete;

    int Device = 0;
    std::string DeviceName;
    bool DCDCValid = false;
    bool MasterFlashValid = false;
    TI2CTranslator* Translator = nullptr; // not owned
    device::TInterfaceKind Kind = device::TInterfaceKind::ikNone;
    device::TMasterFlash MasterFlash;
    device::TDCDCInfo DCDCInfo;

    bool IsMasterFlashValid() const;
    // Writes MasterFlash back; MasterFlashValid is recomputed whatever the result.
    bool WriteMasterFlash();

    // Midnight of the date; 0 for a date the calendar does not have.
    device::TDateTime GetControlledDate() const;
    device::TDateTime GetMastertestDate() const;
    device::TDateTime GetCalibrationDate() const;

private:
    TMasterDeviceAccess* access_;
};

// A flash date as a date value; 0 when day, month or year do not form a calendar date.
device::TDateTime FlashDateToDateTime(const device::TFlashDate& date);

} // namespace qrb::model
