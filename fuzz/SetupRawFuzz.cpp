// Raw setup reader: any bytes are read whole or rejected whole; what was read encodes and
// reads again to the same records.
#include "device/Cp1252.h"
#include "model/SetupRaw.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qrb::model;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (bool sorted : {false, true}) {
        try {
            const TSetupFile file = TSetupFile::FromBytes(bytes, sorted);
            if (size % TFileChannelRecord::Size != 0) std::abort();
            if (!sorted && file.Count() != static_cast<int>(size / TFileChannelRecord::Size)) std::abort();
            std::string again;
            for (int i = 0; i < file.Count(); ++i) {
                const TFileChannelRecord& r = file.Channel(i).Rec;
                if (!file.IsPlaceholder(i) && (r.Version < 1 || r.Version > 3)) std::abort();
                if (file.IsPlaceholder(i) != r.IsPlaceholder()) std::abort();
                if (!file.IsPlaceholder(i) && file.IndexOf(file.Key(i)) > i) std::abort();
                if (qrb::device::Utf8Length(r.ChannelName) > 30 ||
                    qrb::device::Utf8Length(r.Description) > 200)
                    std::abort();
                std::string rec(TFileChannelRecord::Size, '\0');
                r.Encode(reinterpret_cast<uint8_t*>(rec.data()));
                TFileChannelRecord back;
                if (!TFileChannelRecord::Decode(reinterpret_cast<const uint8_t*>(rec.data()), rec.size(),
                                                back) ||
                    !(back == r))
                    std::abort();
                again += rec;
            }
            const TSetupFile reread = TSetupFile::FromBytes(again, sorted);
            if (reread.Count() != file.Count()) std::abort();
        } catch (const ESetupFileError& e) {
            if (std::string(e.what()) != "invalid fileformat!") std::abort();
        }
    }
    return 0;
}
