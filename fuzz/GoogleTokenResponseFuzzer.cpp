// An answer of the OAuth token endpoint.
#include "FuzzSupport.h"
#include "services/google/GoogleCalendarError.h"
#include "services/google/GoogleRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    silenceLog();
    try {
        decodeJson<GTokenResponse>(
            QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    } catch (const GoogleDecodingError&) {
    }
    return 0;
}
