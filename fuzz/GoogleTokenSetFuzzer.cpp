// The Google token set as the secret store hands it back. A token set that was read must survive being
// written and read again: what the program stores, it can read.
#include "FuzzSupport.h"
#include "services/google/GoogleTokenSet.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    silenceLog();
    const std::optional<GoogleTokenSet> read = GoogleTokenSet::fromJson(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!read)
        return 0;
    const QByteArray written = read->toJson();
    const std::optional<GoogleTokenSet> readBack = GoogleTokenSet::fromJson(written);
    if (!readBack || readBack->toJson() != written)
        std::abort();
    return 0;
}
