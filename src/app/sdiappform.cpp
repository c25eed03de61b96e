#include "sdiappform.h"

#include "appicon.h"
#include "exchangemenu.h"
#include "export/favorites.h"
#include "export/textexport.h"
#include "import/jetimport.h"
#include "jetimportcommand.h"
#include "navpanel/frmdaohang.h"
#include "platform/errorguard.h"
#include "platform/platform.h"
#include "platform/windowlook.h"
#include "quickfindwindow.h"
#include "settings/settingswindow.h"
#include "store/databasefile.h"
#include "store/dataerror.h"
#include "store/preferences.h"
#include "widgets/dbgrid.h"
#include "widgets/lbbutton.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

namespace qb {

namespace {

const QString kDatabaseFilter = QStringLiteral("ACESS数据库文件|*.mdb");
constexpr int kRestoredInnerWidth = 383;
const QRect kDesignedFrame(106, 94, 613, 505);

// The save dialog of the text exports (enabled only with a database open); the empty text
// when cancelled.
QString chooseTextFile(FileDialog& dialog) {
    dialog.setFilter(QStringLiteral("文本文件|*.txt"));
    return dialog.execute();
}

using Handler = void (TSDIAppForm::*)();

bool isMove(Command command) {
    return command >= Command::First && command <= Command::Last;
}

QAction* addItem(QMenu* menu, const char* name, const QString& caption,
                 const QKeySequence& shortcut = {}) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    return action;
}

// The image of the desktop's icon theme, or the style's own where the theme has none.
void setMenuIcon(QAction* item, const QString& themeName, QStyle::StandardPixmap builtIn) {
    item->setIcon(QIcon::fromTheme(themeName, QApplication::style()->standardIcon(builtIn)));
}

} // namespace

TSDIAppForm::TSDIAppForm(const QString& iniPath, QWidget* parent)
    : QMainWindow(parent)
    , m_iniPath(iniPath) {
    setObjectName(QStringLiteral("SDIAppForm"));
    setWindowTitle(kProgramName);
    setWindowIcon(applicationIcon());
    QFont font = chineseFont();
    font.setPixelSize(12);
    setFont(font);
    // Placed by its frame: a window manager puts the frame's corner there.
    resize(kDesignedFrame.size());
    move(kDesignedFrame.topLeft());
    buildMenus();
    buildBooks();
    buildTrayIcon();
    connectHandlers();
}

TSDIAppForm::~TSDIAppForm() {
    FormDestroy();
    // The panel reads this window's datasets; it must not outlive them.
    delete m_navigationPanel;
}

void TSDIAppForm::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("文件"));
    file->setObjectName(QStringLiteral("File1"));
    FileNewItem = addItem(file, "FileNewItem", QStringLiteral("新建数据库"),
                          QKeySequence(Qt::CTRL | Qt::Key_N));
    FileOpenItem = addItem(file, "FileOpenItem", QStringLiteral("打开数据库"),
                           QKeySequence(Qt::CTRL | Qt::Key_O));
    FileSaveAsItem = addItem(file, "FileSaveAsItem", QStringLiteral("备份数据库"),
                             QKeySequence(Qt::CTRL | Qt::Key_S));
    setMenuIcon(FileNewItem, QStringLiteral("document-new"), QStyle::SP_FileIcon);
    setMenuIcon(FileOpenItem, QStringLiteral("document-open"), QStyle::SP_DialogOpenButton);
    setMenuIcon(FileSaveAsItem, QStringLiteral("document-save-as"), QStyle::SP_DialogSaveButton);
    file->addSeparator();
    QMenu* exportMenu = file->addMenu(QStringLiteral("导出文本文件"));
    exportMenu->setObjectName(QStringLiteral("N5"));
    N6 = addItem(exportMenu, "N6", QStringLiteral("联系1"));
    N11 = addItem(exportMenu, "N11", QStringLiteral("网址1"));
    N12 = addItem(exportMenu, "N12", QStringLiteral("序列号1"));
    file->addSeparator();
    // The desktops' quit key ends the program the way 退出 does.
    FileExitItem =
        addItem(file, "FileExitItem", QStringLiteral("退出"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    file->addSeparator();
    JetImportItem = addItem(file, "JetImportItem", QStringLiteral("导入 Access 数据库…"));
    m_jetImport = new JetImportCommand(this, kDatabaseFilter,
                                       [this](const QString& name) { openAsCurrent(name); });
    QMenu* other = menuBar()->addMenu(QStringLiteral("其他"));
    other->setObjectName(QStringLiteral("N2"));
    IE1 = addItem(other, "IE1", QStringLiteral("将网址导入到IE收藏夹"));
    N8 = addItem(other, "N8", QStringLiteral("导航"));
    QuickFind1 = addItem(other, "QuickFind1", QStringLiteral("快速查找"),
                         QKeySequence(Qt::CTRL | Qt::Key_F));
    PinyinOrder1 = addItem(other, "PinyinOrder1", QStringLiteral("按拼音排序"));
    PinyinOrder1->setCheckable(true);
    other->addSeparator();
    N3 = addItem(other, "N3", QStringLiteral("设置"));
    QMenu* exchange = menuBar()->addMenu(QStringLiteral("导入导出"));
    exchange->setObjectName(QStringLiteral("ExchangeMenu"));
    m_exchangeItems = buildExchangeMenu(exchange, m_store, m_openDialog, m_saveDialog, this,
                                        [this](BookId id) { leaveEditingOf(id); });
}

QWidget* TSDIAppForm::buildStatusBar(const QString& name, const std::array<int, 4>& widths,
                                     std::array<QLabel*, 4>& panels) {
    auto* bar = new QFrame;
    bar->setObjectName(name);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 1, 0, 1);
    row->setSpacing(2);
    for (size_t i = 0; i < panels.size(); ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("%1Panel%2").arg(name).arg(i));
        panel->setFixedHeight(18);
        const bool last = i + 1 == panels.size();
        // The last panel has no bevel and takes the rest of the bar.
        panel->setFrameStyle(last ? QFrame::NoFrame : QFrame::Panel | QFrame::Sunken);
        if (!last)
            panel->setFixedWidth(widths[i]);
        row->addWidget(panel, last ? 1 : 0);
        panels[i] = panel;
    }
    return bar;
}

void TSDIAppForm::buildBooks() {
    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    PageControl1 = new QTabWidget;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    column->addWidget(PageControl1, 1);
    column->addWidget(buildStatusBar(QStringLiteral("sb2"), {150, 150, 150, 150}, sb2));
    column->addWidget(buildStatusBar(QStringLiteral("sb1"), {150, 150, 150, 50}, sb1));
    setCentralWidget(central);
    for (BookId id : allBooks()) {
        BookPage& page = m_pages[size_t(id)];
        page = buildBookPage(bookLayout(id), PageControl1);
        page.controls.dataset = &m_store.book(id);
        page.controls.positionPanel = sb2[size_t(id)];
        page.controls.countPanel = sb1[size_t(id)];
        page.controls.firstLastPanel = sb1[3];
        m_books[size_t(id)] = std::make_unique<Book>(bookTraits(id), page.controls, this);
    }
}

void TSDIAppForm::buildTrayIcon() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N14 = addItem(PopupMenu1, "N14", QStringLiteral("显示导航面板"));
    N9 = addItem(PopupMenu1, "N9", QStringLiteral("显示主窗体"));
    PopupMenu1->addSeparator();
    N13 = addItem(PopupMenu1, "N13", QStringLiteral("退出"));
    StTrayIcon1 = new QSystemTrayIcon(applicationIcon(), this);
    StTrayIcon1->setObjectName(QStringLiteral("StTrayIcon1"));
    StTrayIcon1->setContextMenu(PopupMenu1);
    connect(StTrayIcon1, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    restoreFromTray();
            });
    if (QSystemTrayIcon::isSystemTrayAvailable())
        StTrayIcon1->show();
}

void TSDIAppForm::connectHandlers() {
    const auto bind = [this](QAction* action, Handler handler) {
        connect(action, &QAction::triggered, this,
                [this, handler] { guarded([&] { (this->*handler)(); }); });
    };
    bind(FileNewItem, &TSDIAppForm::FileNewItemClick);
    bind(FileOpenItem, &TSDIAppForm::FileOpenItemClick);
    bind(FileSaveAsItem, &TSDIAppForm::FileSaveAsItemClick);
    // 导出文本's three items (N6Click, N11Click, N12Click) differ only in their book.
    for (const auto& [item, id] :
         {std::pair{N6, BookId::Contacts}, std::pair{N11, BookId::Websites},
          std::pair{N12, BookId::Serials}})
        connect(item, &QAction::triggered, this, [this, id] { guarded([&] { exportText(id); }); });
    bind(FileExitItem, &TSDIAppForm::FileExit1Execute);
    bind(JetImportItem, &TSDIAppForm::JetImportItemClick);
    bind(IE1, &TSDIAppForm::IE1Click);
    bind(N8, &TSDIAppForm::N8Click);
    bind(QuickFind1, &TSDIAppForm::QuickFind1Click);
    bind(PinyinOrder1, &TSDIAppForm::PinyinOrder1Click);
    // The serials book opens last: then every book can be indexed, in the background, so that
    // the first search finds at once.
    connect(&m_store.book(BookId::Serials), &BookDataset::afterOpen, this,
            &TSDIAppForm::indexBooksForQuickFind);
    connect(&m_store.book(BookId::Contacts), &BookDataset::afterClose, &m_quickFind,
            &QuickFindEngine::closeDatabase);
    bind(N3, &TSDIAppForm::N3Click);
    bind(N14, &TSDIAppForm::N8Click);
    bind(N9, &TSDIAppForm::N9Click);
    bind(N13, &TSDIAppForm::FileExit1Execute); // the tray's 退出 (N13Click)
    const auto click = [this](QAbstractButton* button, Handler handler) {
        connect(button, &QAbstractButton::clicked, this,
                [this, handler] { guarded([&] { (this->*handler)(); }); });
    };
    const BookPage& contacts = m_pages[size_t(BookId::Contacts)];
    click(contacts.linkButtons.value(QStringLiteral("SpeedButton1")),
          &TSDIAppForm::SpeedButton1Click);
    click(contacts.linkButtons.value(QStringLiteral("SpeedButton2")),
          &TSDIAppForm::SpeedButton2Click);
    click(m_pages[size_t(BookId::Websites)].linkButtons.value(QStringLiteral("SpeedButton5")),
          &TSDIAppForm::SpeedButton5Click);
    for (BookId id : allBooks())
        connectBook(id);
}

// Each command button (LbButton1Click …) runs its book's command; a cell click (DBGrid1CellClick
// …) shows the position.
void TSDIAppForm::connectBook(BookId id) {
    const BookControls& controls = m_pages[size_t(id)].controls;
    for (size_t i = 0; i < kCommandCount; ++i)
        connect(controls.buttons[i], &QAbstractButton::clicked, this,
                [this, id, command = Command(i)] { guarded([&] { book(id).run(command); }); });
    connect(controls.grid, &DBGrid::cellClick, this,
            [this, id] { guarded([&] { book(id).cellClick(); }); });
}

void TSDIAppForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    fitDesignedFrame();
    // Coming back from the tray shows the window again, whichever way it came (double click,
    // 显示主窗体, a second start): the icon goes, and the start-up step runs only once.
    if (std::exchange(m_shown, true)) {
        StTrayIcon1->hide();
        return;
    }
    FormShow();
}

void TSDIAppForm::FormShow() {
    setWindowTitle(kProgramName);
    guarded([this] { LoadPreferences(); });
    for (BookId id : allBooks())
        bindBookPage(bookLayout(id), m_pages[size_t(id)]);
    if (QFileInfo(m_currentDatabasePath).isFile()) {
        // A remembered file that cannot be opened is reported; the window still comes up with
        // the books closed and their commands disabled.
        guarded([this] { OpenRememberedDatabase(); });
    }
    ApplyCommandBarStyle();
    ResetPages();
}

void TSDIAppForm::FormDestroy() {
    // Only a window whose preferences were read writes them back, so a window that never
    // came up, or found a preferences file it would not read, cannot wipe what it holds.
    if (!m_preferencesRead || std::exchange(m_destroyed, true))
        return;
    leaveEditingQuietly();
    if (!m_unattended) {
        guarded([this] { SavePreferences(); });
        return;
    }
    try {
        SavePreferences();
    } catch (const std::exception& error) {
        qWarning("%s", error.what()); // no error box: nobody is there to close it
    }
}

void TSDIAppForm::endUnattended() {
    m_unattended = true;
    QCoreApplication::quit();
}

// Every command that closes the books (or the program) first leaves editing as a move does,
// so a typed record is never dropped. A refused record stays on screen with its error, and
// the command goes no further.
void TSDIAppForm::leaveEditingBeforeClosing() {
    for (BookId id : allBooks())
        leaveEditingOf(id);
}

// Walking a book moves it, and a move leaves editing: leave it first, as a move would, so the
// buttons show the state the walk leaves behind, and a refused record stops the command.
void TSDIAppForm::leaveEditingOf(BookId id) {
    try {
        book(id).leaveEditing();
    } catch (const std::exception&) {
        showBookPage(id);
        throw;
    }
}

// At an end nobody can answer, a record is posted if it can be and the end goes on either way.
void TSDIAppForm::leaveEditingQuietly() {
    for (BookId id : allBooks()) {
        try {
            book(id).leaveEditing();
        } catch (const std::exception& error) {
            qWarning("%s", error.what());
        }
    }
}

void TSDIAppForm::showBookPage(BookId id) {
    if (!isVisible())
        restoreFromTray();
    PageControl1->setCurrentWidget(m_pages[size_t(id)].controls.bookPage);
}

void TSDIAppForm::LoadPreferences() {
    const Preferences prefs = qb::LoadPreferences(m_iniPath);
    m_currentDatabasePath = prefs.databasePath;
    for (BookId id : allBooks())
        book(id).setSearchHistory(prefs.histories[size_t(id)]);
    setPinyinOrder(prefs.pinyinOrder);
    m_preferencesRead = true;
}

void TSDIAppForm::OpenRememberedDatabase() {
    // Forgotten until it has opened: a file that hangs or crashes the program at start must not
    // do so again at every start, nor one that fails to open.
    const QString remembered = std::exchange(m_currentDatabasePath, QString());
    RememberDatabasePath(false);
    OpenDatabase(remembered);
    ShowDatabaseName(remembered);
    m_currentDatabasePath = remembered;
    RememberDatabasePath(false);
}

// The remembered file follows a switch at once: a session that ends without the final save
// (a crash, a power cut) still starts next time on the file it worked on. At start a failure
// is left for the final save to report, so that it never keeps the book from opening.
void TSDIAppForm::RememberDatabasePath(bool reportFailure) {
    if (!m_preferencesRead)
        return;
    try {
        qb::saveDatabasePath(m_iniPath, m_currentDatabasePath);
    } catch (const DataError&) {
        if (reportFailure)
            throw;
    }
}

void TSDIAppForm::SavePreferences() {
    Preferences prefs;
    prefs.databasePath = m_currentDatabasePath;
    for (BookId id : allBooks())
        prefs.histories[size_t(id)] = book(id).searchHistory();
    prefs.pinyinOrder = PinyinOrder1->isChecked();
    qb::SavePreferences(m_iniPath, prefs);
}

// The item shows the old order until every book has left editing, as a refresh leaves it: a
// refused record stops the change.
void TSDIAppForm::PinyinOrder1Click() {
    const bool pinyin = PinyinOrder1->isChecked();
    PinyinOrder1->setChecked(!pinyin);
    leaveEditingBeforeClosing();
    setPinyinOrder(pinyin);
}

void TSDIAppForm::setPinyinOrder(bool pinyin) {
    PinyinOrder1->setChecked(pinyin);
    for (BookId id : allBooks())
        m_store.book(id).setKeyOrder(pinyin ? KeyOrder::Pinyin : KeyOrder::Code);
}

void TSDIAppForm::ResetPages() {
    PageControl1->setCurrentIndex(0);
    for (const BookPage& page : m_pages) {
        page.controls.pages->setCurrentIndex(0);
        if (page.controls.entrySubPages)
            page.controls.entrySubPages->setCurrentIndex(0);
    }
}

void TSDIAppForm::OpenDatabase(const QString& fileName) {
    m_store.openDatabase(fileName);
}

void TSDIAppForm::ShowDatabaseName(const QString& fileName) {
    FileNameParts parts;
    SplitFileName(fileName, parts);
    setWindowTitle(kProgramName + QStringLiteral("--") + parts.fileName);
}

void TSDIAppForm::ApplyCommandBarStyle() {
    const bool open = m_store.isOpen();
    const int recordLeft = m_pages[size_t(BookId::Contacts)].controls.pages->width() + 3;
    for (const BookPage& page : m_pages)
        for (size_t i = 0; i < kCommandCount; ++i) {
            TLbButton* button = page.controls.buttons[i];
            const Command command = Command(i);
            button->setButtonStyle(ButtonStyle::Modern);
            button->setShadowColor(QColor(128, 128, 128));
            button->setLightColor(Qt::white);
            button->setColor(palette().color(QPalette::Button));
            if (isMove(command))
                button->resize(28, 21);
            else if (command != Command::Locate)
                button->setGeometry(recordLeft, button->y(), 70, 23);
            button->setEnabled(open && command != Command::Post && command != Command::Cancel);
        }
    for (const BookPage& page : m_pages)
        for (QToolButton* link : page.linkButtons) {
            link->setAutoRaise(true);
            link->setText(QStringLiteral("访问"));
            link->resize(45, 18);
            QPalette blue = link->palette();
            blue.setColor(QPalette::ButtonText, QColor(0, 0, 255));
            link->setPalette(blue);
            link->setCursor(Qt::PointingHandCursor);
        }
    for (QAction* item : {N6, N11, N12, FileSaveAsItem, IE1})
        item->setEnabled(open);
    for (QAction* item : m_exchangeItems)
        item->setEnabled(open);
    enableNavigationItems();
}

// One navigation panel at a time: 导航 and 显示导航面板 stay disabled while one is shown.
void TSDIAppForm::enableNavigationItems() {
    const bool panelShown = m_navigationPanel && m_navigationPanel->isVisible();
    for (QAction* item : {N8, N14})
        item->setEnabled(m_store.isOpen() && !panelShown);
}

void TSDIAppForm::WMSysCommand(bool maximized) {
    const int width =
        maximized ? this->width() - m_pages[0].controls.button(Command::Append)->width() - 80
                  : kRestoredInnerWidth;
    for (const BookPage& page : m_pages)
        page.controls.pages->resize(width, page.controls.pages->height());
    relayoutCommandColumn(m_pages[size_t(BookId::Contacts)].controls.pages->width() + 10);
}

void TSDIAppForm::relayoutCommandColumn(int left) {
    for (const BookPage& page : m_pages)
        for (size_t i = 0; i < kCommandCount; ++i) {
            TLbButton* button = page.controls.buttons[i];
            const Command command = Command(i);
            if (isMove(command))
                button->move(left + (int(command) - int(Command::First)) * button->width(),
                             button->y());
            else if (command != Command::Locate)
                button->move(left, button->y());
        }
}

void TSDIAppForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const Qt::WindowStates old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
    if (isMinimized() && QSystemTrayIcon::isSystemTrayAvailable()) {
        // Minimize to tray; without a tray the window minimizes normally.
        QTimer::singleShot(0, this, [this] {
            hide();
            StTrayIcon1->show();
        });
    } else if (isMaximized() && !(old & Qt::WindowMaximized)) {
        WMSysCommand(true);
    } else if (!isMaximized() && (old & Qt::WindowMaximized)) {
        WMSysCommand(false);
    }
}

// The designed size is the window's outer one. The frame is known only once the
// window manager has framed the window: then the inside gives up the frame's room, once.
void TSDIAppForm::fitDesignedFrame() {
    const QSize frame = frameGeometry().size() - size();
    if (m_frameFitted || frame.isNull() || windowState() != Qt::WindowNoState)
        return;
    m_frameFitted = true;
    resize(kDesignedFrame.size() - frame);
}

void TSDIAppForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    fitDesignedFrame();
}

// A window manager resizes a maximized window after telling its new state, and may resize it
// again (another screen, a panel that appears): the pages follow the size it really has.
void TSDIAppForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    fitDesignedFrame();
    if (isMaximized())
        WMSysCommand(true);
}

void TSDIAppForm::closeEvent(QCloseEvent* event) {
    bool left = m_unattended;
    if (!left)
        guarded([&] {
            leaveEditingBeforeClosing();
            left = true;
        });
    if (!left) {
        event->ignore();
        return;
    }
    // The main window is the application: closing it ends the program even while the
    // navigation panel or the tray icon is still there.
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        QCoreApplication::quit();
}

void TSDIAppForm::restoreFromTray() {
    showNormal();
    raise();
    activateWindow();
    StTrayIcon1->hide();
}

void TSDIAppForm::FileNewItemClick() {
    leaveEditingBeforeClosing();
    m_saveDialog.setFilter(kDatabaseFilter);
    const QString chosen = m_saveDialog.execute();
    if (chosen.isEmpty())
        return;
    const QString name = withMdbExtension(chosen);
    switch (m_store.createDatabase(name)) {
    case RecordStore::CreateResult::AlreadyExists:
        MsgBox(QStringLiteral("文件“%1”已经存在，没有新建数据库。").arg(name), kProgramName,
               mb::IconExclamation);
        return;
    case RecordStore::CreateResult::FileCreationFailed:
        MsgBox(QStringLiteral("数据库创建失败！"), kProgramName, mb::Ok);
        return;
    case RecordStore::CreateResult::Created:
        break;
    }
    m_store.reopenBooks();
    ShowDatabaseName(name);
    m_currentDatabasePath = name;
    ApplyCommandBarStyle();
    RememberDatabasePath();
}

void TSDIAppForm::FileOpenItemClick() {
    leaveEditingBeforeClosing();
    m_openDialog.setFilter(kDatabaseFilter);
    openChosenDatabase(m_openDialog.execute());
}

void TSDIAppForm::OpenDatabaseFile(const QString& fileName) {
    guarded([&] {
        if (fileName.isEmpty())
            return;
        leaveEditingBeforeClosing();
        openChosenDatabase(fileName);
    });
}

void TSDIAppForm::openChosenDatabase(const QString& chosen) {
    // The remembered file that could not be opened at start may have been mended since.
    if (chosen.isEmpty() || (m_store.isOpen() && chosen == m_currentDatabasePath))
        return;
    // The records of an Access file can only come over into a new database.
    if (isJetFile(chosen))
        return m_jetImport->offer(chosen);
    openAsCurrent(chosen);
}

void TSDIAppForm::openAsCurrent(const QString& fileName) {
    OpenDatabase(fileName);
    ShowDatabaseName(fileName);
    m_currentDatabasePath = fileName;
    ApplyCommandBarStyle();
    RememberDatabasePath();
}

void TSDIAppForm::JetImportItemClick() {
    // The import ends by opening the new database, which closes the books.
    leaveEditingBeforeClosing();
    m_jetImport->chooseAndImport();
}

void TSDIAppForm::FileSaveAsItemClick() {
    if (!m_store.isOpen())
        return;
    leaveEditingBeforeClosing();
    m_saveDialog.setFilter(kDatabaseFilter);
    const QString chosen = m_saveDialog.execute();
    if (chosen.isEmpty())
        return;
    const QString name = withMdbExtension(chosen);
    m_store.backupDatabase(name);
    ShowDatabaseName(name);
    m_currentDatabasePath = name;
    RememberDatabasePath();
}

void TSDIAppForm::FileExit1Execute() {
    leaveEditingBeforeClosing();
    QCoreApplication::quit();
}

void TSDIAppForm::N9Click() {
    if (isVisible() && isEnabled()) {
        raise();
        activateWindow();
    }
    if (isMinimized())
        showNormal();
}

void TSDIAppForm::N3Click() {
    Tfrmsetting1 settings(this);
    settings.exec();
}

void TSDIAppForm::N8Click() {
    // The panel's fill walks both books.
    leaveEditingOf(BookId::Contacts);
    leaveEditingOf(BookId::Websites);
    // One panel at a time: both items that open it stay disabled until it closes.
    N8->setEnabled(false);
    N14->setEnabled(false);
    auto* panel = new Tfrmdaohang(
        m_store.book(BookId::Contacts), m_store.book(BookId::Websites),
        [this] {
            N8->setEnabled(true);
            N14->setEnabled(true);
        },
        [this] { restoreFromTray(); });
    panel->setAttribute(Qt::WA_DeleteOnClose);
    m_navigationPanel = panel;
    panel->show();
}

void TSDIAppForm::exportText(BookId id) {
    leaveEditingOf(id);
    exportBookText(m_store, id, chooseTextFile(m_saveDialog));
}
void TSDIAppForm::IE1Click() {
    leaveEditingOf(BookId::Websites);
    importWebsitesToFavorites(m_store);
}

QString TSDIAppForm::fieldText(BookId id, const QString& control) const {
    const auto* edit = qobject_cast<const QLineEdit*>(m_pages[size_t(id)].fields.value(control));
    return edit ? edit->text() : QString();
}

void TSDIAppForm::SpeedButton1Click() {
    OpenUrl(fieldText(BookId::Contacts, QStringLiteral("DBzhuye")));
}
void TSDIAppForm::SpeedButton2Click() {
    OpenMailTo(fieldText(BookId::Contacts, QStringLiteral("DBemail")));
}
void TSDIAppForm::SpeedButton5Click() {
    OpenUrl(fieldText(BookId::Websites, QStringLiteral("DBwangzhi")));
}

} // namespace qb
