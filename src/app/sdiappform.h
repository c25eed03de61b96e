#pragma once

#include "bookpage.h"
#include "books/book.h"
#include "platform/filedialog.h"
#include "quickfind/quickfindengine.h"
#include "store/recordstore.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTabWidget;

namespace qb {

class JetImportCommand;
class Tfrmdaohang;
class QuickFindWindow;

// The record-book window: the three book pages, the database menu, the status line and the
// tray icon. Handlers keep the names of the controls and events they serve and run inside the
// error guard. The books' command buttons are wired from the layout table to their book.
class TSDIAppForm : public QMainWindow {
    Q_OBJECT
public:
    // iniPath: the preferences file read at the first showing and written at the end.
    explicit TSDIAppForm(const QString& iniPath, QWidget* parent = nullptr);
    ~TSDIAppForm() override;

    RecordStore& store() { return m_store; }
    Book& book(BookId id) { return *m_books[size_t(id)]; }
    const QString& currentDatabasePath() const { return m_currentDatabasePath; }
    QSystemTrayIcon* trayIcon() const { return StTrayIcon1; }

    // Leaves editing in every book quietly (a record is posted if it can be), then writes the
    // preferences.
    void FormDestroy();
    // The desktop session ends or the program was told to stop: nobody can answer, so the
    // program ends without asking anything.
    void endUnattended();
    // A file named on the command line or handed over by a later start: opened as 打开数据库
    // opens a chosen one, with its errors shown the same way.
    void OpenDatabaseFile(const QString& fileName);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormShow();
    void ResetPages();
    void ShowDatabaseName(const QString& fileName);
    void OpenDatabase(const QString& fileName);
    void ApplyCommandBarStyle();
    void WMSysCommand(bool maximized);
    // Menu and link handlers: each runs inside the error guard set where it is connected.
    void FileNewItemClick();
    void FileOpenItemClick();
    void FileSaveAsItemClick();
    void JetImportItemClick();
    void FileExit1Execute();
    void N3Click();
    void N8Click();
    void N9Click();
    void IE1Click();
    void exportText(BookId id);
    void QuickFind1Click();
    void PinyinOrder1Click();
    // Every book in that order, and the menu item checked for it.
    void setPinyinOrder(bool pinyin);
    // A record chosen in quick find becomes current in its book, as a click on its grid row.
    void showFoundRecord(BookId id, qint64 rowId);
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton5Click();

    void buildMenus();
    void buildTrayIcon();
    QWidget* buildStatusBar(const QString& name, const std::array<int, 4>& widths,
                            std::array<QLabel*, 4>& panels);
    void buildBooks();
    void connectHandlers();
    void connectBook(BookId id);
    void LoadPreferences();
    void SavePreferences();
    void OpenRememberedDatabase();
    void RememberDatabasePath(bool reportFailure = true);
    void relayoutCommandColumn(int left);
    void fitDesignedFrame();
    QString fieldText(BookId id, const QString& control) const;
    void restoreFromTray();
    void openChosenDatabase(const QString& chosen);
    void leaveEditingBeforeClosing();
    void leaveEditingOf(BookId id);
    void leaveEditingQuietly();
    void showBookPage(BookId id);
    void enableNavigationItems();
    void openAsCurrent(const QString& fileName);
    void indexBooksForQuickFind();

    QString m_iniPath;
    QString m_currentDatabasePath;
    bool m_shown = false;
    bool m_preferencesRead = false;
    bool m_destroyed = false;
    bool m_unattended = false;
    bool m_frameFitted = false;

    RecordStore m_store;
    FileDialog m_openDialog{FileDialogRequest::Kind::Open, false};
    FileDialog m_saveDialog{FileDialogRequest::Kind::Save, true};

    QTabWidget* PageControl1 = nullptr;
    std::array<BookPage, kBookCount> m_pages;
    std::array<std::unique_ptr<Book>, kBookCount> m_books;
    std::array<QLabel*, 4> sb1{};
    std::array<QLabel*, 4> sb2{};

    QAction* FileNewItem = nullptr;
    QAction* FileOpenItem = nullptr;
    QAction* FileSaveAsItem = nullptr;
    QAction* N6 = nullptr;
    QAction* N11 = nullptr;
    QAction* N12 = nullptr;
    QAction* FileExitItem = nullptr;
    QAction* JetImportItem = nullptr;
    JetImportCommand* m_jetImport = nullptr;
    QAction* IE1 = nullptr;
    QAction* N8 = nullptr;
    QAction* N3 = nullptr;
    QAction* QuickFind1 = nullptr;
    QAction* PinyinOrder1 = nullptr;
    QAction* N14 = nullptr;
    QAction* N9 = nullptr;
    QAction* N13 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QList<QAction*> m_exchangeItems;
    QSystemTrayIcon* StTrayIcon1 = nullptr;
    QPointer<Tfrmdaohang> m_navigationPanel;
    QuickFindEngine m_quickFind;
    QPointer<QuickFindWindow> m_quickFindWindow;
};

} // namespace qb
