#include "books.h"

#include "store/dataerror.h"

#include <QDir>
#include <stdexcept>

namespace qb::test {

QString createBookFile(const QString& folder, const QString& name) {
    const QString file = QDir(folder).filePath(name);
    RecordStore store;
    if (store.createDatabase(file) != RecordStore::CreateResult::Created)
        throw std::runtime_error("could not create the test book");
    return file;
}

void addRecord(BookDataset& book, const QStringList& values) {
    book.append();
    for (int c = 0; c < values.size(); ++c)
        book.setFieldText(c, values[c]);
    book.post();
}

QString storeErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DataError& e) {
        return e.message();
    }
    return {};
}

} // namespace qb::test
