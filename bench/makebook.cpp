// qb_makebook <file> <contacts> [websites] [serials]: writes a database file with made-up books
// for screenshots, manual runs and benchmarks.

#include "bookgenerator.h"

#include "store/dataerror.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace {

// A fixed seed: the same command always makes the same file.
constexpr quint32 kSeed = 20240601;
constexpr int kDefaultWebsites = 100;
constexpr int kDefaultSerials = 50;

void printError(const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
}

std::optional<int> count(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? std::optional<int>(value) : std::nullopt;
}

std::optional<int> countArgument(const QStringList& arguments, int index,
                                 std::optional<int> fallback) {
    return index < arguments.size() ? count(arguments[index]) : fallback;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const std::optional<int> contacts = countArgument(arguments, 2, std::nullopt);
    const std::optional<int> websites = countArgument(arguments, 3, kDefaultWebsites);
    const std::optional<int> serials = countArgument(arguments, 4, kDefaultSerials);
    if (arguments.size() > 5 || !contacts || !websites || !serials) {
        printError(QStringLiteral("用法：qb_makebook <文件> <联系人数> [网址数，默认 %1] "
                                  "[序列号数，默认 %2]")
                       .arg(kDefaultWebsites)
                       .arg(kDefaultSerials));
        return 2;
    }
    try {
        qb::generateBook(arguments[1], *contacts, *websites, *serials, kSeed);
    } catch (const qb::DataError& error) {
        printError(error.message());
        return 1;
    }
    return 0;
}
