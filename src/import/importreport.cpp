#include "importreport.h"

namespace qb {

namespace {

QString bookName(BookId book) {
    static const QString names[kBookCount] = {QStringLiteral("联系人"), QStringLiteral("网址"),
                                              QStringLiteral("序列号")};
    return names[int(book)];
}

QString issueLine(const ImportIssue& issue) {
    QString line = QStringLiteral("%1 第 %2 条").arg(bookName(issue.book)).arg(issue.record);
    if (!issue.key.isEmpty())
        line += QStringLiteral("（%1）").arg(issue.key);
    line += QStringLiteral("：");
    if (!issue.column.isEmpty())
        line += issue.column + QStringLiteral("：");
    return line + issue.reason;
}

} // namespace

QString bookTitle(BookId book) {
    return QStringLiteral("%1（%2）").arg(bookName(book), tableSchema(book).tableName);
}

QStringList ImportReport::lines() const {
    QStringList out{QStringLiteral("Access 数据库：%1").arg(source),
                    QStringLiteral("新的 Quillbox 数据库：%1").arg(target), QString()};
    for (BookId book : allBooks())
        out << QStringLiteral("%1：导入 %2 条记录").arg(bookTitle(book)).arg(imported[int(book)]);
    if (!tableNotes.isEmpty()) {
        out << QString() << QStringLiteral("表和字段：");
        for (const QString& note : tableNotes)
            out << QStringLiteral("  ") + note;
    }
    out << QString();
    if (issues.isEmpty()) {
        out << QStringLiteral("每条记录都已原样导入。");
        return out;
    }
    out << QStringLiteral("没有导入或有改动的记录和字段（共 %1 处）：").arg(issues.size());
    for (const ImportIssue& issue : issues)
        out << QStringLiteral("  ") + issueLine(issue);
    return out;
}

QString ImportReport::text() const {
    QString all;
    for (const QString& line : lines())
        all += line + QStringLiteral("\r\n");
    return all;
}

} // namespace qb
