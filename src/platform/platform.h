#pragma once

#include <QString>

namespace qb {

// Style flags and answers of the system message box, as the program's callers use them.
namespace mb {
inline constexpr unsigned Ok = 0x0;
inline constexpr unsigned YesNo = 0x4;
inline constexpr unsigned IconStop = 0x10;
inline constexpr unsigned IconQuestion = 0x20;
inline constexpr unsigned IconExclamation = 0x30;
inline constexpr unsigned DefaultButton2 = 0x100;
inline constexpr int IdOk = 1;
inline constexpr int IdYes = 6;
inline constexpr int IdNo = 7;
} // namespace mb

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    QString filter;      // "label|pattern", as the program's filters are written
    QString initialName; // the name last chosen in the same dialog
    bool confirmOverwrite = false;
};

class SystemSettings;

// Everything the program asks of the desktop. Windows and behaviour code never show a
// message box or a file dialog or launch anything themselves: they ask the current platform,
// so tests can answer every question without a modal window.
class Platform {
public:
    virtual ~Platform() = default;
    // Returns the pressed button (mb::IdOk, mb::IdYes, mb::IdNo).
    virtual int messageBox(const QString& text, const QString& caption, unsigned flags) = 0;
    // The chosen file name, or the empty text when the dialog was cancelled.
    virtual QString chooseFile(const FileDialogRequest& request) = 0;
    // Hands a target to the desktop's default handler without waiting or reporting.
    virtual void shellOpen(const QString& target) = 0;
    // The user's Favorites folder, created when missing; empty when there is none.
    virtual QString favoritesFolder() = 0;
    virtual SystemSettings& systemSettings() = 0;
};

// The platform in use: the desktop one in the program, a scripted one in tests.
Platform& platform();
void setPlatform(Platform* platform);

// The one wrapper for the program's own questions and notices; returns the pressed button.
int MsgBox(const QString& text, const QString& caption, unsigned flags);
// Hand a web address, file or folder, or a mail address, to the desktop. An empty value is
// answered with "是空的", and so is one of blanks only; anything else is passed on exactly as
// given.
void OpenUrl(const QString& target);
void OpenMailTo(const QString& address);

} // namespace qb
