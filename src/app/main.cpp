#include "app/sdiappform.h"
#include "platform/desktopplatform.h"
#include "platform/singleinstance.h"
#include "platform/terminationsignals.h"
#include "store/preferences.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSessionManager>
#include <QTranslator>

namespace {

// The system's own texts (Yes/No, OK, file dialogs) read in Simplified Chinese whatever the
// desktop's language is.
void loadChineseQtTexts(QApplication& app) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    qb::SingleInstance instance(QStringLiteral("Quillbox"));
    if (instance.notifyRunningInstance())
        return 0;
    QApplication::setApplicationName(QStringLiteral("Quillbox"));
    // Lets desktops match the window to its launcher entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quillbox.Quillbox"));
    loadChineseQtTexts(app);
    // Without a locale of its own the desktop gets the program's: dates read 2024/3/5.
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    qb::DesktopPlatform desktop;
    qb::setPlatform(&desktop);

    qb::TSDIAppForm form(qb::IniFileName());
    QObject::connect(&instance, &qb::SingleInstance::activated, &form, [&form] {
        if (form.isMinimized())
            form.showNormal();
        form.raise();
        form.activateWindow();
    });
    // Logout, shutdown and `kill` end the program in order, as 退出 does, but unattended.
    qb::TerminationSignals termination;
    QObject::connect(&termination, &qb::TerminationSignals::received, &form,
                     &qb::TSDIAppForm::endUnattended);
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, &form,
        [&form](QSessionManager&) { form.endUnattended(); }, Qt::DirectConnection);
    instance.listen();
    form.show();
    const int code = QApplication::exec();
    form.FormDestroy();
    qb::setPlatform(nullptr);
    return code;
}
