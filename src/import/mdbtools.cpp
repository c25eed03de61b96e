#include "mdbtools.h"

#include "store/dataerror.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace qb {

namespace {

// Short enough that a window pumping its events in the poll stays responsive.
constexpr int kPollMs = 50;

QString firstLine(const QByteArray& text) {
    return QString::fromUtf8(text.trimmed()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace

DataError damagedFileError(const QString& file, const QString& reason) {
    return DataError(
        QStringLiteral("无法读取 Access 数据库文件“%1”，文件可能已损坏：%2").arg(file, reason));
}

MdbTools::MdbTools(QString toolFolder, int stallMs)
    : m_toolFolder(std::move(toolFolder))
    , m_stallMs(stallMs) {}

QString MdbTools::program(const QString& name) const {
    const QString found =
        m_toolFolder.isEmpty()
            ? QStandardPaths::findExecutable(name)
            : QStandardPaths::findExecutable(name, {QDir(m_toolFolder).absolutePath()});
    if (found.isEmpty())
        throw DataError(QStringLiteral("没有找到读取 Access 数据库所需的程序“%1”，请先安装软件包 "
                                       "mdbtools（例如：sudo apt-get install mdbtools）后再导入")
                            .arg(name));
    return found;
}

QStringList MdbTools::tables(const QString& file) const {
    const QByteArray out =
        runToEnd(QStringLiteral("mdb-tables"), file, {QStringLiteral("-1"), file});
    QStringList names;
    for (const QByteArray& line : out.split('\n'))
        if (!line.isEmpty())
            names << QString::fromUtf8(line);
    return names;
}

qint64 MdbTools::rowCount(const QString& file, const QString& table) const {
    const QByteArray out = runToEnd(QStringLiteral("mdb-count"), file, {file, table});
    bool ok = false;
    const qint64 count = out.trimmed().toLongLong(&ok);
    if (!ok || count < 0)
        throw damagedFileError(file, QStringLiteral("表“%1”的记录数无法读取").arg(table));
    return count;
}

bool MdbTools::exportTable(const QString& file, const QString& table, const OutputHandler& onOutput,
                           const Poll& poll) const {
    return run(QStringLiteral("mdb-export"), file,
               {QStringLiteral("-T"), QStringLiteral("%Y-%m-%d %H:%M:%S"), file, table}, onOutput,
               poll);
}

QByteArray MdbTools::runToEnd(const QString& name, const QString& file,
                              const QStringList& arguments) const {
    QByteArray out;
    run(
        name, file, arguments, [&out](QByteArrayView chunk) { out += chunk; }, [] { return true; });
    return out;
}

bool MdbTools::run(const QString& name, const QString& file, const QStringList& arguments,
                   const OutputHandler& onOutput, const Poll& poll) const {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Table and column names are Chinese: the tools need a UTF-8 locale to read and print them.
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(program(name), arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted())
        throw DataError(QStringLiteral("无法启动程序“%1”：%2").arg(name, process.errorString()));
    const auto stop = [&process] {
        process.kill();
        process.waitForFinished();
    };
    QElapsedTimer quiet;
    quiet.start();
    for (;;) {
        const bool ready = process.waitForReadyRead(kPollMs);
        const QByteArray chunk = process.readAllStandardOutput();
        if (!chunk.isEmpty()) {
            quiet.restart();
            try {
                onOutput(chunk);
            } catch (...) {
                stop();
                throw;
            }
        }
        if (!ready && process.state() == QProcess::NotRunning)
            break;
        if (!poll()) {
            stop();
            return false;
        }
        if (quiet.elapsed() > m_stallMs) {
            stop();
            throw damagedFileError(file, QStringLiteral("程序“%1”在 %2 秒内没有结果，已停止")
                                             .arg(name)
                                             .arg(m_stallMs / 1000.0));
        }
    }
    const QByteArray rest = process.readAllStandardOutput();
    if (!rest.isEmpty())
        onOutput(rest);
    // The tools warn on stderr and still exit with success when they skip pages they cannot
    // read: any complaint means records may be missing.
    const QByteArray errors = process.readAllStandardError();
    if (process.exitStatus() != QProcess::NormalExit)
        throw damagedFileError(file, QStringLiteral("程序“%1”异常退出").arg(name));
    if (process.exitCode() != 0 || !errors.trimmed().isEmpty())
        throw damagedFileError(file, firstLine(errors).isEmpty()
                                         ? QStringLiteral("程序“%1”失败").arg(name)
                                         : firstLine(errors));
    return true;
}

} // namespace qb
