// The date parser on any text. What it accepts is stored as ISO text, and what is stored must
// read back as itself and be shown as a text that can be typed back.
#include "fuzzsupport.h"
#include "store/valuetext.h"

using namespace qb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::useChineseLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString typed = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QString> stored = parseDateText(typed);
    if (!stored)
        return 0;
    fuzz::require(parseDateText(*stored) == stored, "a stored date parses as itself");
    fuzz::require(parseDateText(dateValueText(*stored)) == stored,
                  "a shown date can be typed back");
    return 0;
}
