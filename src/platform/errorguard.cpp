#include "errorguard.h"

#include "platform.h"

namespace qb {

void showDefaultError(const QString& message) {
    QString text = message;
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        text += QLatin1Char('.');
    platform().messageBox(text, QStringLiteral("Quillbox"), mb::IconStop);
}

} // namespace qb
