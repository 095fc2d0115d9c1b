// Arbitrary bytes as they would arrive on a connection: appended in pieces,
// cut at every "|", each message decoded, and a decoded message framed
// again. Errors are the protocol's own platform::Error; anything else, a
// crash or a buffer beyond the largest message after a cut, is a fault.
#include "protocol/protocol.h"

#include "platform/codepage.h"
#include "platform/error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    protocol::ReceiveBuffer buffer;
    // The first byte chooses the piece size, so frames are split anywhere.
    const size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
    for (size_t at = size > 0 ? 1 : 0; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        buffer.Append(platform::codepage::fromAnsi(QByteArrayView(data + at, static_cast<qsizetype>(n))));
        while (const auto message = buffer.NextMessage()) {
            try {
                if (const auto decoded = protocol::DecodeMessage(*message)) {
                    const QString frame = protocol::PrepareDataToSend(static_cast<qint16>(decoded->code), decoded->data);
                    if (!frame.endsWith(QLatin1Char('|')) || frame.count(QLatin1Char('|')) != 1)
                        std::abort();
                }
            } catch (const platform::Error &) {
            }
        }
        if (buffer.Pending().contains(QLatin1Char('|')))
            std::abort();
    }
    return 0;
}
