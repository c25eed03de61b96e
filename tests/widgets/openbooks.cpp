#include "openbooks.h"

#include "store/sqlitestatement.h"

namespace qb::test {

void OpenBooks::addContacts(int count) {
    sqlite3* db = store.connection().handle();
    execSql(db, QStringLiteral("BEGIN"));
    SqliteStatement insert(db, QStringLiteral("INSERT INTO lianxi1 (姓名) VALUES (?1)"));
    for (int i = 0; i < count; ++i) {
        insert.reset();
        insert.bindText(1, QStringLiteral("n%1").arg(i, 5, 10, QLatin1Char('0')));
        insert.step();
    }
    execSql(db, QStringLiteral("COMMIT"));
    contacts().refresh();
}

QStringList OpenBooks::errors() const {
    QStringList texts;
    for (const ScriptedPlatform::Message& message : platform.messages)
        texts << message.text;
    return texts;
}

} // namespace qb::test
