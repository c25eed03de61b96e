#include "quickfindwindow.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qb {

namespace {

constexpr int kBookRole = Qt::UserRole;
constexpr int kRowIdRole = Qt::UserRole + 1;

} // namespace

QString highlightedText(const QuickFindHit& hit) {
    const QString text = hit.text;
    return text.left(hit.matchStart).toHtmlEscaped() + QStringLiteral("<b>") +
           text.mid(hit.matchStart, hit.matchLength).toHtmlEscaped() + QStringLiteral("</b>") +
           text.mid(hit.matchStart + hit.matchLength).toHtmlEscaped();
}

QuickFindWindow::QuickFindWindow(QuickFindEngine& engine, const QStringList& bookNames,
                                 QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_engine(engine)
    , m_bookNames(bookNames) {
    setObjectName(QStringLiteral("QuickFindWindow"));
    setWindowTitle(QStringLiteral("快速查找"));
    resize(560, 360);
    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("QuickFindEdit"));
    m_field->setAccessibleName(QStringLiteral("查找"));
    m_field->setPlaceholderText(QStringLiteral("姓名、拼音、首字母、电话、网址……"));
    m_field->installEventFilter(this);
    m_results = new QTreeWidget(this);
    m_results->setObjectName(QStringLiteral("QuickFindResults"));
    m_results->setRootIsDecorated(false);
    m_results->setHeaderLabels({QStringLiteral("簿"), QStringLiteral("关键字"),
                                QStringLiteral("列"), QStringLiteral("内容")});
    m_results->header()->setStretchLastSection(true);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("QuickFindStatus"));
    m_status->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_field);
    layout->addWidget(m_results);
    layout->addWidget(m_status);
    connect(m_field, &QLineEdit::textChanged, &m_engine, &QuickFindEngine::search);
    connect(m_field, &QLineEdit::returnPressed, this, [this] { choose(m_results->currentItem()); });
    connect(m_results, &QTreeWidget::itemActivated, this, &QuickFindWindow::choose);
    connect(&m_engine, &QuickFindEngine::resultsReady, this, &QuickFindWindow::showResults);
    connect(&m_engine, &QuickFindEngine::failed, m_status, &QLabel::setText);
    // Results from another file would show other records: search the open one again.
    connect(&m_engine, &QuickFindEngine::databaseChanged, this, [this] {
        m_results->clear();
        m_engine.search(m_field->text());
    });
}

void QuickFindWindow::showResults(const QString& text, const QVector<QuickFindHit>& hits) {
    if (text != m_field->text())
        return;
    m_results->clear();
    m_status->clear();
    for (const QuickFindHit& hit : hits) {
        auto* item = new QTreeWidgetItem(
            m_results, {m_bookNames.value(int(hit.book)), hit.key, hit.column, QString()});
        item->setData(0, kBookRole, int(hit.book));
        item->setData(0, kRowIdRole, hit.rowId);
        auto* label = new QLabel(highlightedText(hit));
        label->setTextFormat(Qt::RichText);
        m_results->setItemWidget(item, 3, label);
    }
    m_results->setCurrentItem(m_results->topLevelItem(0));
    Q_EMIT resultsShown(text);
}

void QuickFindWindow::choose(QTreeWidgetItem* item) {
    if (!item)
        return;
    Q_EMIT recordChosen(BookId(item->data(0, kBookRole).toInt()),
                        item->data(0, kRowIdRole).toLongLong());
}

void QuickFindWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}

bool QuickFindWindow::eventFilter(QObject* watched, QEvent* event) {
    // Up and down in the field move through the results, so the hands stay on the keys.
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            QCoreApplication::sendEvent(m_results, event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace qb
