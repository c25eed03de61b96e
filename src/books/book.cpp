#include "book.h"

#include "platform/platform.h"
#include "store/bookdataset.h"
#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>

namespace qb {

namespace {

constexpr int kOverviewPage = 0;
constexpr int kEntryPage = 1;

const QString kRecords = QStringLiteral("条记录");

} // namespace

const BookTraits& bookTraits(BookId id) {
    static const BookTraits traits[kBookCount] = {
        {BookId::Contacts, QStringLiteral("联系簿当前第"), QStringLiteral("联系簿有"), false, false,
         false},
        {BookId::Websites, QStringLiteral("网址当前第"), QStringLiteral("网址有"), false, false,
         true},
        {BookId::Serials, QStringLiteral("序列号当前第"), QStringLiteral("序列号有"), true, true,
         true},
    };
    return traits[int(id)];
}

QString statusText(const QString& prefix, int number) {
    return prefix + QString::number(number) + kRecords;
}

QString detailText(const BookDataset& dataset) {
    QString text;
    const QVector<Column>& columns = dataset.columns();
    for (int c = 0; c < columns.size(); ++c)
        text += columns[c].name + QLatin1Char(':') + dataset.valueText(c) + QStringLiteral("\r\n");
    return text + QStringLiteral("\r\n");
}

Book::Book(const BookTraits& traits, const BookControls& controls, QObject* parent)
    : QObject(parent)
    , m_traits(traits)
    , m_controls(controls) {
    connect(m_controls.dataset, &BookDataset::afterRefresh, this, &Book::afterRefresh);
    connect(m_controls.dataset, &BookDataset::afterOpen, this, &Book::afterOpen);
}

void Book::SetBrowseMode(bool browsing) {
    const BookControls& c = m_controls;
    for (Command command :
         {Command::Append, Command::Insert, Command::Edit, Command::Delete, Command::Locate,
          Command::First, Command::Prior, Command::Next, Command::Last})
        c.button(command)->setEnabled(browsing);
    if (m_traits.refreshInArrangement)
        c.button(Command::Refresh)->setEnabled(browsing);
    c.button(Command::Post)->setEnabled(!browsing);
    c.button(Command::Cancel)->setEnabled(!browsing);
}

void Book::run(Command command) {
    switch (command) {
    case Command::Append:
        return appendRecord();
    case Command::Insert:
        return insertRecord();
    case Command::Edit:
        return editRecord();
    case Command::Delete:
        return deleteRecord();
    case Command::Refresh:
        return refreshRecords();
    case Command::Post:
        return postRecord();
    case Command::Cancel:
        return cancelRecord();
    case Command::First:
        return move(Move::First);
    case Command::Prior:
        return move(Move::Prior);
    case Command::Next:
        return move(Move::Next);
    case Command::Last:
        return move(Move::Last);
    case Command::Locate:
        return locate();
    }
}

void Book::startEntry(EntryCommand command) {
    SetBrowseMode(false);
    const auto showEntryPage = [this] {
        m_controls.pages->setCurrentIndex(kEntryPage);
        if (m_controls.entrySubPages)
            m_controls.entrySubPages->setCurrentIndex(0);
    };
    if (!m_traits.datasetBeforeEntryPage)
        showEntryPage();
    BookDataset& dataset = *m_controls.dataset;
    switch (command) {
    case EntryCommand::Append:
        dataset.append();
        break;
    case EntryCommand::Insert:
        dataset.insert();
        break;
    case EntryCommand::Edit:
        dataset.edit();
        break;
    }
    if (m_traits.datasetBeforeEntryPage)
        showEntryPage();
    // The entry page is shown to be typed into: the cursor goes to its first field.
    m_controls.firstField->setFocus(Qt::OtherFocusReason);
}

void Book::appendRecord() {
    startEntry(EntryCommand::Append);
}
void Book::insertRecord() {
    startEntry(EntryCommand::Insert);
}
void Book::editRecord() {
    startEntry(EntryCommand::Edit);
}

void Book::showOverviewPage() {
    m_controls.pages->setCurrentIndex(kOverviewPage);
    if (m_controls.entrySubPages)
        m_controls.entrySubPages->setCurrentIndex(0);
}

void Book::deleteRecord() {
    const int answer = MsgBox(QStringLiteral("确定要删除这条记录吗？"), QStringLiteral("警告"),
                              mb::YesNo | mb::IconStop | mb::DefaultButton2);
    if (answer != mb::IdYes)
        return;
    showOverviewPage();
    m_controls.dataset->remove();
}

void Book::refreshRecords() {
    m_controls.dataset->refresh();
}

void Book::postRecord() {
    SetBrowseMode(true);
    showOverviewPage();
    m_controls.dataset->post();
}

void Book::cancelRecord() {
    SetBrowseMode(true);
    showOverviewPage();
    m_controls.dataset->cancel();
}

void Book::move(Move move) {
    BookDataset& dataset = *m_controls.dataset;
    switch (move) {
    case Move::First:
        dataset.first();
        break;
    case Move::Prior:
        dataset.prior();
        break;
    case Move::Next:
        dataset.next();
        break;
    case Move::Last:
        dataset.last();
        break;
    }
    const bool countMove = move == Move::First || move == Move::Last;
    if (m_traits.firstLastShowCount && countMove)
        m_controls.firstLastPanel->setText(statusText(m_traits.countPrefix, dataset.recordCount()));
    else
        showPositionText();
}

bool Book::isEditing() const {
    const DatasetState state = m_controls.dataset->state();
    return state == DatasetState::Edit || state == DatasetState::Insert;
}

void Book::leaveEditing() {
    if (!isEditing())
        return;
    BookDataset& dataset = *m_controls.dataset;
    if (dataset.isModified())
        dataset.post();
    else
        dataset.cancel();
    SetBrowseMode(true);
}

void Book::cellClick() {
    showPositionText();
}

void Book::showPositionText() {
    m_controls.positionPanel->setText(
        statusText(m_traits.positionPrefix, m_controls.dataset->recordNumber()));
    if (m_controls.detailView)
        fillDetailView();
}

void Book::fillDetailView() {
    QPlainTextEdit* view = m_controls.detailView;
    // One replacement of the whole text: the view redraws once per refill.
    view->setPlainText(QString(detailText(*m_controls.dataset))
                           .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    view->moveCursor(QTextCursor::Start);
}

void Book::afterRefresh() {
    m_controls.countPanel->setText(
        statusText(m_traits.countPrefix, m_controls.dataset->recordCount()));
}

void Book::afterOpen() {
    QComboBox* chooser = m_controls.columnChooser;
    chooser->clear();
    for (const Column& column : m_controls.dataset->columns())
        chooser->addItem(column.name);
    chooser->setCurrentIndex(0);
}

void Book::locate() {
    const QString column = m_controls.columnChooser->currentText();
    QComboBox* searchBox = m_controls.searchBox;
    const QString text = searchBox->currentText();
    // The history keeps the first spelling of a text; letter case does not make a new entry.
    if (searchBox->findText(text, Qt::MatchFixedString) < 0) {
        searchBox->addItem(text);
        searchBox->setEditText(text);
    }
    if (m_controls.dataset->locate(column, text))
        m_controls.grid->centerOnCurrent();
    else
        MsgBox(QStringLiteral("找不到"), QStringLiteral("^^"), mb::IconExclamation);
}

QStringList Book::searchHistory() const {
    QStringList entries;
    for (int i = 0; i < m_controls.searchBox->count(); ++i)
        entries << m_controls.searchBox->itemText(i);
    return entries;
}

void Book::setSearchHistory(const QStringList& entries) {
    m_controls.searchBox->clear();
    m_controls.searchBox->addItems(entries);
    m_controls.searchBox->setEditText(QString());
}

} // namespace qb
