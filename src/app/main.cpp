#include "app/laterstarts.h"
#include "app/sdiappform.h"
#include "platform/desktopplatform.h"
#include "platform/singleinstance.h"
#include "platform/terminationsignals.h"
#include "platform/windowlook.h"
#include "store/preferences.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
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

// --help and --version print their text and end before any window is made, so they work
// without a display, as in a terminal over ssh.
void printWithoutDisplay(int argc, char* argv[]) {
    const QByteArrayList printOnly = {"-h", "--help", "--help-all", "-v", "--version"};
    for (int i = 1; i < argc; ++i)
        if (printOnly.contains(QByteArray(argv[i]))) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            return;
        }
}

// The database file named on the command line, or an empty name. --help, --version and
// unknown options end the program here. The name is made absolute because a running
// instance that opens it may have another working folder.
QString commandLineFile(const QApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("个人记录簿：联系人、网址和软件序列号"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("要打开的数据库文件"),
                                 QStringLiteral("[file]"));
    parser.process(app);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        qCritical("quillbox: 只能打开一个数据库文件");
        parser.showHelp(1);
    }
    return files.isEmpty() ? QString() : QFileInfo(files.first()).absoluteFilePath();
}

} // namespace

int main(int argc, char* argv[]) {
    printWithoutDisplay(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(qb::kProgramName);
    QApplication::setApplicationVersion(QStringLiteral(QB_VERSION));
    loadChineseQtTexts(app);
    const QString fileName = commandLineFile(app);
    qb::SingleInstance instance(qb::kProgramName);
    if (instance.notifyRunningInstance(fileName))
        return 0;
    // Lets desktops match the window to its launcher entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quillbox.Quillbox"));
    // Without a locale of its own the desktop gets the program's: dates read 2024/3/5.
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    qb::DesktopPlatform desktop;
    qb::setPlatform(&desktop);

    qb::TSDIAppForm form(qb::IniFileName());
    qb::followLaterStarts(instance, form);
    // Logout, shutdown and `kill` end the program in order, as 退出 does, but unattended.
    qb::TerminationSignals termination;
    QObject::connect(&termination, &qb::TerminationSignals::received, &form,
                     &qb::TSDIAppForm::endUnattended);
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, &form,
        [&form](QSessionManager&) { form.endUnattended(); }, Qt::DirectConnection);
    instance.listen();
    form.show();
    form.OpenDatabaseFile(fileName);
    const int code = QApplication::exec();
    form.FormDestroy();
    qb::setPlatform(nullptr);
    return code;
}
