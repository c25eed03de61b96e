#include "exportfile.h"

#include <filesystem>

namespace qb {

DataError cannotCreate(const QString& target) {
    return DataError(QStringLiteral("Cannot create file %1").arg(target));
}

void refuseOpenDatabase(const QString& target, const QString& database) {
    std::error_code error;
    if (std::filesystem::equivalent(QFile::encodeName(target).toStdString(),
                                    QFile::encodeName(database).toStdString(), error))
        throw DataError(
            QStringLiteral("不能导出到“%1”：它是打开着的数据库文件，导出没有进行").arg(target));
}

} // namespace qb
