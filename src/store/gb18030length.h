#pragma once

#include <QByteArrayView>

namespace qb {

// The length of the GB18030 character at the start of bytes: a lead byte (0x81-0xFE) starts a
// two-byte character, or a four-byte one when a digit follows; every other byte stands alone,
// and so does a lead byte with nothing after it.
inline qsizetype gb18030CharacterLength(QByteArrayView bytes) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    if (lead < 0x81 || lead == 0xFF || bytes.size() < 2)
        return 1;
    return (bytes[1] >= '0' && bytes[1] <= '9') ? 4 : 2;
}

} // namespace qb
