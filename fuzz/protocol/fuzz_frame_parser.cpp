// Arbitrary bytes through the receive loop: they arrive in reports of 1 to 63 bytes, frames
// are cut from the head of the buffer and dropped, as the receive parser does. Every valid
// frame must rebuild to exactly the bytes it was cut from, and copies must agree with it.

#include "FuzzSupport.h"
#include "protocol/WdxMessageGeneric.h"

#include <QtGlobal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void checkFrame(const QRawData &input, int consumed, const WdxMessageGeneric &m)
{
    require(consumed <= input.byteLen());
    // The names and the dump must cope with any code.
    (void)WdxMessageGeneric::commandTypeName(m.commandType());
    (void)WdxMessageGeneric::operationCodeName(m.operationCode());
    if (!m.data().isEmpty())
        (void)WdxMessageGeneric::subCodeName(m.operationCode(), m.data().at(0));
    (void)m.toString();
    if (!m.isValid() || m.numberOfBytes() < 2)
        return;

    const QRawData original = input.GetRange(0, consumed);
    require(WdxMessageGeneric::buildFrame(m) == original);
    require(m.numberOfBytes() == m.data().byteLen() + 2);

    const WdxMessageGeneric copy(m);
    WdxMessageGeneric assigned;
    assigned = m;
    require(WdxMessageGeneric::buildFrame(copy) == original);
    require(WdxMessageGeneric::buildFrame(assigned) == original);
    require(copy.isSameRequest(m) && assigned.isSameRequest(m));
    require(assigned.checksum() == m.checksum() && assigned.isValid());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int report = 1 + data[0] % 63;
    const auto *bytes = reinterpret_cast<const char *>(data + 1);
    const int total = int(size - 1);

    QRawData input;
    WdxMessageGeneric reused;
    for (int pos = 0; pos < total; pos += report) {
        input.append(bytes + pos, qMin(report, total - pos));
        while (!input.isEmpty()) {
            WdxMessageGeneric fresh;
            const int consumed = WdxMessageGeneric::parse(input, fresh);
            // A message reused across frames must parse to the same outcome.
            require(WdxMessageGeneric::parse(input, reused) == consumed);
            require(reused.isValid() == fresh.isValid());
            if (consumed <= 0) {
                require(consumed == -1 && !fresh.isValid());
                break;
            }
            checkFrame(input, consumed, fresh);
            input = input.GetRange(consumed);
        }
    }
    return 0;
}
