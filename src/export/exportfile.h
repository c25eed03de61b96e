#pragma once

#include "besidefile.h"
#include "bytesink.h"
#include "store/dataerror.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <unistd.h>

namespace qb {

// Written out in pieces of this size: big enough that the per-write cost vanishes, small
// enough that a book of any size exports in constant memory.
inline constexpr qsizetype kExportFlushBytes = 256 * 1024;

// "Cannot create file <target>", the error of every export step that fails.
DataError cannotCreate(const QString& target);

// The export would replace the book it reads: refused, whether the name is the database's own
// or a link to it.
void refuseOpenDatabase(const QString& target, const QString& database);

// The export file: filled through a buffer into a temporary file beside the target, which
// commit() renames into place. Destroyed without commit, it removes the temporary file. The
// rename replaces a link at the target name; QSaveFile would write through it, onto whatever
// the link names (the open database, say).
class ExportFile : public ByteSink {
public:
    explicit ExportFile(const QString& target)
        : m_target(target)
        , m_name(QFile::encodeName(target))
        , m_temporary(temporaryNameBeside(m_name))
        , m_file(QFile::decodeName(m_temporary))
        , m_buffer(2 * kExportFlushBytes, Qt::Uninitialized) {
        if (m_name.contains('\0') ||
            !m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            throw cannotCreate(m_target);
    }
    ~ExportFile() override {
        if (!m_committed)
            m_file.remove();
    }
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    // Space for at least n bytes; advance() then says how much of it was written.
    char* room(qsizetype n) override {
        if (m_used + n > m_buffer.size()) {
            flush();
            if (n > m_buffer.size())
                m_buffer.resize(n);
        }
        return m_buffer.data() + m_used;
    }
    void advance(const char* end) override {
        m_used = end - m_buffer.constData();
        if (m_used >= kExportFlushBytes)
            flush();
    }
    void commit() {
        flush();
        keepPermissionsOfTarget();
        // On disk before it takes the name: a power cut never leaves an empty file there.
        if (::fsync(m_file.handle()) != 0)
            throw cannotCreate(m_target);
        m_file.close();
        if (std::rename(m_temporary.constData(), m_name.constData()) != 0)
            throw cannotCreate(m_target);
        m_committed = true;
    }

private:
    void flush() {
        if (m_file.write(m_buffer.constData(), m_used) != m_used)
            throw cannotCreate(m_target);
        m_used = 0;
    }

    // A file that is replaced keeps who may read it; a new one gets the usual rights.
    void keepPermissionsOfTarget() {
        const QFileInfo old(m_target);
        if (old.isFile() && !old.isSymLink())
            m_file.setPermissions(old.permissions());
    }

    QString m_target;
    QByteArray m_name;
    QByteArray m_temporary;
    QFile m_file;
    QByteArray m_buffer;
    qsizetype m_used = 0;
    bool m_committed = false;
};

} // namespace qb
