// A message body that another launch sent to the running instance. What the decoder takes must be what the
// encoder would send: encoded again, it reads back the same.
#include "FuzzSupport.h"
#include "platform/linux/LocalSocketSingleInstance.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    silenceLog();
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QStringList> urls = LocalSocketSingleInstance::decode(body);
    if (!urls || body.size() > LocalSocketSingleInstance::kMaxMessageBytes)
        return 0;
    const std::optional<QByteArray> message = LocalSocketSingleInstance::encode(*urls);
    if (!message || message->mid(4) != body || LocalSocketSingleInstance::decode(message->mid(4)) != urls)
        std::abort();
    return 0;
}
