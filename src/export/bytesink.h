#pragma once

#include <QtGlobal>

namespace qb {

// Where formatted bytes go without a copy: room() hands out space for at least n bytes, the
// caller writes into it, and advance() says where its writing ended.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual char* room(qsizetype n) = 0;
    virtual void advance(const char* end) = 0;
};

} // namespace qb
