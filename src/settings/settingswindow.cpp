#include "settingswindow.h"

#include "platform/errorguard.h"
#include "platform/platform.h"
#include "platform/systemsettings.h"
#include "platform/windowlook.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <initializer_list>

namespace qb {

namespace {

// The two fixed tweaks applied at every showing.
constexpr int kMenuShowDelay = 1;  // milliseconds
constexpr int kBootTimeout = 3000; // seconds, the boot loader's "timeout"
constexpr int kLogonListHeight = 113;
constexpr int kSessionNeedsRole = Qt::UserRole + 1;

SystemSettings& settings() {
    return platform().systemSettings();
}

QPushButton* makeButton(const QString& name, const QString& text, const QRect& geometry,
                        QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    return button;
}

QLabel* makeNote(const QString& name, const QString& text, QWidget* parent) {
    auto* note = new QLabel(text, parent);
    note->setObjectName(name);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignCenter);
    return note;
}

// Says inside an empty list that this system has nothing of its kind, and disables the list's
// buttons.
void sayListMissing(QAbstractItemView* list, const QString& noteName, const QString& text,
                    std::initializer_list<QPushButton*> buttons) {
    auto* layout = new QVBoxLayout(list->viewport());
    layout->addWidget(makeNote(noteName, text, list->viewport()));
    list->setAccessibleDescription(text);
    for (QPushButton* button : buttons)
        button->setEnabled(false);
}

// Underlines the row under the mouse.
class HotTrackDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->state & QStyle::State_MouseOver)
            option->font.setUnderline(true);
    }
};

QList<QListWidgetItem*> selectedInOrder(const QListWidget* list) {
    QList<QListWidgetItem*> items;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isSelected())
            items << list->item(row);
    }
    return items;
}

QList<QTreeWidgetItem*> selectedInOrder(const QTreeWidget* list) {
    QList<QTreeWidgetItem*> items;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        if (list->topLevelItem(row)->isSelected())
            items << list->topLevelItem(row);
    }
    return items;
}

QString itemText(const QListWidgetItem& item) {
    return item.text();
}
QString itemText(const QTreeWidgetItem& item) {
    return item.text(0);
}

// Deletes each item's entry, first to last; an item leaves its list only when its entry was
// deleted. Returns the texts of the items whose entries could not be deleted.
template <typename Item, typename DeleteEntry>
QStringList deleteEntries(const QList<Item*>& items, DeleteEntry deleteEntry) {
    QStringList failed;
    for (Item* item : items) {
        if (deleteEntry(*item))
            delete item;
        else
            failed << itemText(*item);
    }
    return failed;
}

bool confirmSessionEntry(const QString& name) {
    const QString question =
        QStringLiteral("“%1”是桌面会话需要的项目，删除后桌面可能无法正常工作。真的要删除？");
    return MsgBox(question.arg(name), QStringLiteral("慎重考虑"), mb::YesNo | mb::IconStop) ==
           mb::IdYes;
}

// One message for all the entries of one command that could not be deleted.
void reportFailures(const QStringList& failed) {
    if (!failed.isEmpty())
        MsgBox(QStringLiteral("以下项目未能删除：\n") + failed.join(u'\n'), kProgramName,
               mb::IconStop);
}

} // namespace

Tfrmsetting1::Tfrmsetting1(QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("设置"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QFont font = chineseFont();
    font.setPointSize(9);
    setFont(font);
    setFixedSize(449, 342);
    move(197, 159);
    createControls();
    connectHandlers();
    sayWhatIsMissing();
}

void Tfrmsetting1::createControls() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, 449, 310);
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet3, QStringLiteral("选项1"));
    TabSheet3->installEventFilter(this);

    lb1 = new QListWidget(TabSheet3);
    lb1->setObjectName(QStringLiteral("lb1"));
    lb1->setGeometry(0, 2, 214, 137);
    lb1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lb1->setAccessibleName(QStringLiteral("浏览器右键菜单扩展"));
    Button5 = makeButton(QStringLiteral("Button5"), QStringLiteral("删除选的"), {249, 6, 84, 19},
                         TabSheet3);
    Button6 =
        makeButton(QStringLiteral("Button6"), QStringLiteral("刷新"), {250, 30, 85, 19}, TabSheet3);

    Label2 = new QLabel(settings().logonProgramsTitle(), TabSheet3);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(4, 146);
    Label2->adjustSize();
    Button7 = makeButton(QStringLiteral("Button7"), QStringLiteral("删除选的"), {264, 143, 85, 22},
                         TabSheet3);
    Button8 = makeButton(QStringLiteral("Button8"), QStringLiteral("刷新"), {358, 143, 73, 22},
                         TabSheet3);
    createLogonList();

    Button1 =
        makeButton(QStringLiteral("Button1"), QStringLiteral("应用"), {268, 316, 81, 21}, this);
    Button2 =
        makeButton(QStringLiteral("Button2"), QStringLiteral("放弃"), {358, 316, 75, 21}, this);
}

void Tfrmsetting1::createLogonList() {
    lv4 = new QTreeWidget(TabSheet3);
    lv4->setObjectName(QStringLiteral("lv4"));
    lv4->setGeometry(0, 170, 441, kLogonListHeight);
    lv4->setHeaderLabels({QStringLiteral("启动项目名"), QStringLiteral("路径")});
    lv4->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lv4->header()->setStretchLastSection(false);
    lv4->header()->setSectionsClickable(false);
    lv4->setRootIsDecorated(false);
    lv4->setUniformRowHeights(true);
    lv4->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lv4->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv4->setAllColumnsShowFocus(true);
    lv4->setEditTriggers(QAbstractItemView::NoEditTriggers);
    keepSelectionVisible(lv4);
    // Hot tracking: the row under the mouse is underlined and the pointer is a hand.
    lv4->setItemDelegate(new HotTrackDelegate(lv4));
    lv4->setMouseTracking(true);
    lv4->viewport()->setAttribute(Qt::WA_Hover);
    Label2->setBuddy(lv4);
    lv4->setAccessibleName(Label2->text());
}

void Tfrmsetting1::connectHandlers() {
    using Handler = void (Tfrmsetting1::*)();
    const std::pair<QPushButton*, Handler> handlers[] = {
        {Button1, &Tfrmsetting1::Button1Click}, {Button2, &Tfrmsetting1::Button2Click},
        {Button5, &Tfrmsetting1::Button5Click}, {Button6, &Tfrmsetting1::Button6Click},
        {Button7, &Tfrmsetting1::Button7Click}, {Button8, &Tfrmsetting1::Button8Click}};
    for (const auto& [button, handler] : handlers)
        connect(button, &QPushButton::clicked, this,
                [this, handler] { guarded([&] { (this->*handler)(); }); });
    connect(lv4, &QTreeWidget::entered, this,
            [this] { lv4->viewport()->setCursor(Qt::PointingHandCursor); });
    connect(lv4, &QTreeWidget::viewportEntered, this, [this] { lv4->viewport()->unsetCursor(); });
}

void Tfrmsetting1::sayWhatIsMissing() {
    using Feature = SystemSettings::Feature;
    const SystemSettings& system = settings();
    if (!system.has(Feature::BrowserExtensions))
        sayListMissing(lb1, QStringLiteral("lb1Note"),
                       QStringLiteral("此系统没有浏览器右键菜单扩展"), {Button5, Button6});
    if (!system.has(Feature::LogonPrograms))
        sayListMissing(lv4, QStringLiteral("lv4Note"), QStringLiteral("此系统没有登录时启动的程序"),
                       {Button7, Button8});
    QStringList missingTweaks;
    if (!system.has(Feature::MenuShowDelay))
        missingTweaks << QStringLiteral("菜单显示延迟");
    if (!system.has(Feature::BootTimeout))
        missingTweaks << QStringLiteral("启动菜单等待时间");
    if (missingTweaks.isEmpty())
        return;
    const QString text = QStringLiteral("此系统没有%1，打开本窗口时不作更改。")
                             .arg(missingTweaks.join(QStringLiteral("和")));
    makeNote(QStringLiteral("tweaksNote"), text, TabSheet3)->setGeometry(220, 60, 215, 76);
}

void Tfrmsetting1::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Every showing by the program, not a window system's restore.
    if (!event->spontaneous())
        guarded([this] { FormShow(); });
}

bool Tfrmsetting1::eventFilter(QObject* watched, QEvent* event) {
    // The logon list keeps to the bottom of its page, whatever height the style gives it.
    if (watched == TabSheet3 && event->type() == QEvent::Resize)
        lv4->setGeometry(0, TabSheet3->height() - kLogonListHeight, TabSheet3->width(),
                         kLogonListHeight);
    return QDialog::eventFilter(watched, event);
}

void Tfrmsetting1::FormShow() {
    PageControl1->setCurrentIndex(0);
    refreshLogonPrograms();
    refreshExtensions();
    settings().setMenuShowDelay(kMenuShowDelay);
    settings().setBootTimeout(kBootTimeout);
    Button1->setEnabled(false);
}

void Tfrmsetting1::Button1Click() {
    Button1->setEnabled(false);
}

void Tfrmsetting1::Button2Click() {
    reject();
}

void Tfrmsetting1::Button5Click() {
    deleteSelectedExtensions();
}

void Tfrmsetting1::Button6Click() {
    refreshExtensions();
}

void Tfrmsetting1::Button7Click() {
    if (MsgBox(QStringLiteral("真的要删除？"), QStringLiteral("慎重考虑"),
               mb::YesNo | mb::IconStop) == mb::IdYes)
        deleteSelectedLogonPrograms();
}

void Tfrmsetting1::Button8Click() {
    refreshLogonPrograms();
}

void Tfrmsetting1::refreshLogonPrograms() {
    const QList<LogonProgram> programs = settings().logonPrograms();
    lv4->clear();
    for (const LogonProgram& program : programs) {
        auto* row = new QTreeWidgetItem(lv4, {program.name, program.commandLine});
        row->setData(0, Qt::UserRole, program.id);
        row->setData(0, kSessionNeedsRole, program.sessionNeeds);
    }
}

void Tfrmsetting1::refreshExtensions() {
    // When there are none to read, the list keeps the entries it had.
    const QStringList names = settings().browserExtensions();
    if (names.isEmpty())
        return;
    lb1->clear();
    lb1->addItems(names);
}

void Tfrmsetting1::deleteSelectedExtensions() {
    reportFailures(deleteEntries(selectedInOrder(lb1), [](const QListWidgetItem& item) {
        return settings().deleteBrowserExtension(item.text());
    }));
}

void Tfrmsetting1::deleteSelectedLogonPrograms() {
    QList<QTreeWidgetItem*> chosen = selectedInOrder(lv4);
    // What the desktop session itself relies on goes only after a second yes, by its name.
    chosen.removeIf([](const QTreeWidgetItem* item) {
        return item->data(0, kSessionNeedsRole).toBool() && !confirmSessionEntry(item->text(0));
    });
    reportFailures(deleteEntries(chosen, [](const QTreeWidgetItem& item) {
        return settings().deleteLogonProgram(item.data(0, Qt::UserRole).toString());
    }));
}

} // namespace qb
