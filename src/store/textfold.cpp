#include "textfold.h"

namespace qb {

QChar foldChar(QChar c) {
    const char16_t u = c.unicode();
    // Most of a book is ASCII, and its folding is plain lowering: no table look-up.
    if (u < 0x80)
        return u >= 'A' && u <= 'Z' ? QChar(char16_t(u + ('a' - 'A'))) : c;
    if (u >= 0xFF01 && u <= 0xFF5E)
        c = QChar(char16_t(u - 0xFEE0));
    else if (u == 0x3000)
        c = QLatin1Char(' ');
    return c.toCaseFolded();
}

QString foldText(QStringView text) {
    QString folded(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        folded[i] = foldChar(text[i]);
    return folded;
}

} // namespace qb
