// CleanFileName on any text: the shortcut file named after it is always a file directly inside
// the folder it is put in.
#include "export/favorites.h"
#include "fuzzsupport.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

using namespace qb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString name = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString cleaned = CleanFileName(name);
    fuzz::require(cleaned.size() <= name.size(), "nothing is added");
    fuzz::require(std::none_of(cleaned.begin(), cleaned.end(),
                               [](QChar c) { return QStringLiteral("\"*/:<>?\\|").contains(c); }),
                  "no refused character is left");
    const QString folder = QStringLiteral("/favorites/sub");
    const QString file = QDir::cleanPath(folder + u'/' + cleaned + QStringLiteral(".url"));
    fuzz::require(QFileInfo(file).path() == folder, "the file is directly inside the folder");
    return 0;
}
