// The test side of the stand-in firmware library: the same file opened again, its control
// functions resolved.

#include "tests/support/FakeFirmwareLibrary.h"

#include "device/ByteOrder.h"

#include <dlfcn.h>

#include <sstream>
#include <stdexcept>

namespace qrb::test {

namespace {
std::vector<uint8_t> Record(size_t size, uint32_t address, uint32_t kind, uint32_t version, uint32_t index,
                            uint32_t number, uint32_t handle) {
    std::vector<uint8_t> r(size, 0);
    device::PutU32(r.data(), address);
    device::PutU32(r.data() + 4, kind);
    device::PutU32(r.data() + 8, version);
    device::PutU32(r.data() + 12, index);
    device::PutU32(r.data() + 16, number);
    if (size >= 28) device::PutU32(r.data() + 24, handle);
    return r;
}

std::vector<uint8_t> Join(const std::vector<std::vector<uint8_t>>& records) {
    std::vector<uint8_t> bytes;
    for (const auto& r : records)
        bytes.insert(bytes.end(), r.begin(), r.end());
    return bytes;
}
} // namespace

std::vector<uint8_t> FakeNetRecord(uint32_t address, uint32_t kind, uint32_t version, uint32_t index,
                                   uint32_t number) {
    return Record(24, address, kind, version, index, number, 0);
}

std::vector<uint8_t> FakeUsbRecord(uint32_t address, uint32_t kind, uint32_t version, uint32_t index,
                                   uint32_t number, uint32_t handle) {
    return Record(28, address, kind, version, index, number, handle);
}

TFakeFirmwareLibrary::TFakeFirmwareLibrary(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ != nullptr) Reset();
}

TFakeFirmwareLibrary::~TFakeFirmwareLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
}

template <typename F> F TFakeFirmwareLibrary::Fn(const char* name) const {
    void* symbol = handle_ != nullptr ? dlsym(handle_, name) : nullptr;
    if (symbol == nullptr) throw std::runtime_error(std::string("stand-in lacks ") + name);
    return reinterpret_cast<F>(symbol);
}

void TFakeFirmwareLibrary::Reset() {
    Fn<void (*)()>("FakeFW_Reset")();
}

void TFakeFirmwareLibrary::SetResult(const std::string& entry, int32_t result) {
    Fn<void (*)(const char*, int32_t)>("FakeFW_SetResult")(entry.c_str(), result);
}

void TFakeFirmwareLibrary::SetNetScan(const std::string& localAddress,
                                      const std::vector<std::vector<uint8_t>>& records, int32_t count) {
    const std::vector<uint8_t> bytes = Join(records);
    Fn<void (*)(const char*, int32_t, const uint8_t*, int32_t)>("FakeFW_SetNetScan")(
        localAddress.c_str(), count, bytes.data(), static_cast<int32_t>(records.size()));
}

void TFakeFirmwareLibrary::SetUsbScan(const std::vector<std::vector<uint8_t>>& records, int32_t count) {
    const std::vector<uint8_t> bytes = Join(records);
    Fn<void (*)(int32_t, const uint8_t*, int32_t)>("FakeFW_SetUsbScan")(count, bytes.data(),
                                                                        static_cast<int32_t>(records.size()));
}

void TFakeFirmwareLibrary::SetProgress(const std::vector<int32_t>& statuses) {
    Fn<void (*)(const int32_t*, int32_t)>("FakeFW_SetProgress")(statuses.data(),
                                                                static_cast<int32_t>(statuses.size()));
}

std::vector<std::string> TFakeFirmwareLibrary::Log() const {
    std::vector<std::string> lines;
    std::istringstream in(Fn<const char* (*)()>("FakeFW_Log")());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void TFakeFirmwareLibrary::ClearLog() {
    Fn<void (*)()>("FakeFW_ClearLog")();
}

int32_t TFakeFirmwareLibrary::LiveImages() const {
    return Fn<int32_t (*)()>("FakeFW_LiveImages")();
}

} // namespace qrb::test
