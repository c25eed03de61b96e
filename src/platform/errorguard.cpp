#include "errorguard.h"

#include "platform.h"
#include "windowlook.h"

namespace qb {

namespace {

// A sentence that already ends in Chinese punctuation gets no ASCII full stop after it.
bool endsInChinesePunctuation(const QString& text) {
    return text.endsWith(u'。') || text.endsWith(u'！') || text.endsWith(u'？');
}

} // namespace

void showDefaultError(const QString& message) {
    QString text = message;
    if (!text.isEmpty() && text.back() > QLatin1Char('.') && !endsInChinesePunctuation(text))
        text += QLatin1Char('.');
    platform().messageBox(text, kProgramName, mb::IconStop);
}

} // namespace qb
