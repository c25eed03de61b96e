#pragma once

#include "store/dataerror.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>

namespace qb {

// The error of an Access file the tools cannot read through: names the file and the reason.
DataError damagedFileError(const QString& file, const QString& reason);

// The mdbtools programs (Debian package mdbtools) that read Access (Jet) files, each run as
// its own process without a shell, with a UTF-8 locale and a time limit: some damaged files
// make them hang, and those are killed.
class MdbTools {
public:
    // Called while a program runs, whether or not it printed anything; false cancels.
    using Poll = std::function<bool()>;
    using OutputHandler = std::function<void(QByteArrayView chunk)>;

    // toolFolder: where the programs are, or empty for the search path. stallMs: how long a
    // program may run without printing anything before it counts as hung.
    explicit MdbTools(QString toolFolder = {}, int stallMs = kDefaultStallMs);

    // The user tables, system tables left out. All calls throw DataError with a clear
    // message when the program is missing, fails, hangs or reports damage.
    QStringList tables(const QString& file) const;
    qint64 rowCount(const QString& file, const QString& table) const;
    // The table as comma-separated text, the header line first, dates as
    // "YYYY-MM-DD HH:MM:SS". Returns false when the poll cancelled it.
    bool exportTable(const QString& file, const QString& table, const OutputHandler& onOutput,
                     const Poll& poll) const;

    static constexpr int kDefaultStallMs = 15000;

private:
    QString program(const QString& name) const;
    // file: the Access file among the arguments, named in the error messages.
    QByteArray runToEnd(const QString& name, const QString& file,
                        const QStringList& arguments) const;
    bool run(const QString& name, const QString& file, const QStringList& arguments,
             const OutputHandler& onOutput, const Poll& poll) const;

    QString m_toolFolder;
    int m_stallMs;
};

} // namespace qb
