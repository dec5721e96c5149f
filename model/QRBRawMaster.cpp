#include "model/QRBRawMaster.h"

#include <stdexcept>
#include <utility>

namespace qrb::model {

TQRBRawMaster::TQRBRawMaster(int device, std::string deviceName, TI2CTranslator* translator,
                             device::TInterfaceKind kind, TMasterDeviceAccess* access)
    : Device(device), DeviceName(std::move(deviceName)), Translator(translator), Kind(kind), access_(access) {
    if (translator == nullptr || access == nullptr)
        throw std::runtime_error("Invalid or empty i2c translator class for masterdevice!");
    MasterFlash = device::TMasterFlash{};
    if (!device::IsOK(access_->GetMasterflash(Device, MasterFlash)))
        throw std::runtime_error(device::Format("Error on reading masterflash on device %d!", Device));
    MasterFlashValid = IsMasterFlashValid();
    DCDCValid = device::IsOK(access_->GetDCDCInfo(Device, DCDCInfo));
}

bool TQRBRawMaster::IsMasterFlashValid() const {
    return MasterFlash.IsMagicValid();
}

bool TQRBRawMaster::WriteMasterFlash() {
    const bool ok = device::IsOK(access_->SetMasterflash(Device, MasterFlash));
    MasterFlashValid = IsMasterFlashValid();
    return ok;
}

device::TDateTime TQRBRawMaster::GetControlledDate() const {
    return FlashDateToDateTime(MasterFlash.ControlledDate);
}
device::TDateTime TQRBRawMaster::GetMastertestDate() const {
    return FlashDateToDateTime(MasterFlash.MastertestDate);
}
device::TDateTime TQRBRawMaster::GetCalibrationDate() const {
    return FlashDateToDateTime(MasterFlash.CalibrationDate);
}

device::TDateTime FlashDateToDateTime(const device::TFlashDate& date) {
    // Day 31 of a 30-day month or 29 February of a common year reads as 0 like any other
    // date the calendar lacks, instead of failing.
    device::TDateTime value = 0;
    if (!device::TryEncodeDate(date.Year, date.Month, date.Day, value)) return 0;
    return value;
}

} // namespace qrb::model
