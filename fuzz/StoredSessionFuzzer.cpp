// The account session as the secret store hands it back. A session that was read must survive being
// written and read again: what the program stores, it can read.
#include "FuzzSupport.h"
#include "account/StoredSession.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    silenceLog();
    const std::optional<StoredSession> read = StoredSession::fromJson(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!read)
        return 0;
    const QByteArray written = read->toJson();
    const std::optional<StoredSession> readBack = StoredSession::fromJson(written);
    if (!readBack || readBack->toJson() != written)
        std::abort();
    return 0;
}
