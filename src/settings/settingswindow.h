#pragma once

#include <QDialog>

class QAbstractItemView;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace qb {

// The settings window "设置": lists and prunes the browser's context-menu extensions and the
// programs started at logon, and applies two fixed system tweaks each time it is shown. It acts
// through the platform's system settings; what this system lacks, it says in place of the
// list. Made anew for each use and shown modally.
class Tfrmsetting1 : public QDialog {
    Q_OBJECT

public:
    explicit Tfrmsetting1(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void Button1Click();
    void Button2Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void createControls();
    void createLogonList();
    void connectHandlers();
    void sayWhatIsMissing();
    void refreshLogonPrograms();
    void refreshExtensions();
    void deleteSelectedExtensions();
    void deleteSelectedLogonPrograms();

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QListWidget* lb1 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button8 = nullptr;
    QTreeWidget* lv4 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
};

} // namespace qb
