#include "desktopplatform.h"

#include "xdgautostart.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <QUrl>

namespace qb {

namespace {

QMessageBox::Icon iconOf(unsigned flags) {
    switch (flags & 0xF0) {
    case mb::IconStop:
        return QMessageBox::Critical;
    case mb::IconExclamation:
        return QMessageBox::Warning;
    case 0x20:
        return QMessageBox::Question;
    case 0x40:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

DesktopPlatform::DesktopPlatform()
    : m_settings(std::make_unique<XdgAutostart>()) {}

DesktopPlatform::~DesktopPlatform() = default;

int DesktopPlatform::messageBox(const QString& text, const QString& caption, unsigned flags) {
    QMessageBox box(iconOf(flags), caption, text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    if ((flags & 0xF) == mb::YesNo) {
        box.addButton(QMessageBox::Yes);
        box.addButton(QMessageBox::No);
        box.setDefaultButton((flags & mb::DefaultButton2) ? QMessageBox::No : QMessageBox::Yes);
        // Escape and the close box answer No, the safe answer of every question asked.
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setDefaultButton(box.addButton(QMessageBox::Ok));
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return mb::IdYes;
    case QMessageBox::No:
        return mb::IdNo;
    default:
        return mb::IdOk;
    }
}

QString qtNameFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(
            parts[i], QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')));
    return filters.join(QStringLiteral(";;"));
}

QString DesktopPlatform::chooseFile(const FileDialogRequest& request) {
    QWidget* owner = QApplication::activeWindow();
    const QString filter = qtNameFilter(request.filter);
    if (request.kind == FileDialogRequest::Kind::Open)
        return QFileDialog::getOpenFileName(owner, QString(), request.initialName, filter);
    const QFileDialog::Options options =
        request.confirmOverwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite;
    return QFileDialog::getSaveFileName(owner, QString(), request.initialName, filter, nullptr,
                                        options);
}

QString desktopUrlFor(const QString& target) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    // Blanks around a stored address are padding, not part of it; with them no address is made.
    const QString address = target.trimmed();
    if (QFileInfo::exists(address))
        return QUrl::fromLocalFile(QFileInfo(address).absoluteFilePath()).toString();
    if (scheme.match(address).hasMatch())
        return address;
    return QStringLiteral("http://") + address;
}

void DesktopPlatform::shellOpen(const QString& target) {
    QDesktopServices::openUrl(QUrl(desktopUrlFor(target), QUrl::TolerantMode));
}

QString DesktopPlatform::favoritesFolder() {
    const QString folder = QDir::home().filePath(QStringLiteral("Favorites"));
    if (!QDir().mkpath(folder))
        return {};
    return folder;
}

SystemSettings& DesktopPlatform::systemSettings() {
    return *m_settings;
}

} // namespace qb
