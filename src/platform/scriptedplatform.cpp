#include "scriptedplatform.h"

#include "systemsettings.h"

namespace qb {

ScriptedPlatform::ScriptedPlatform()
    : m_settings(std::make_unique<SystemSettings>()) {}

ScriptedPlatform::~ScriptedPlatform() = default;

int ScriptedPlatform::messageBox(const QString& text, const QString& caption, unsigned flags) {
    messages.append({text, caption, flags});
    if (!answers.isEmpty())
        return answers.dequeue();
    if ((flags & 0xF) != mb::YesNo)
        return mb::IdOk;
    return (flags & mb::DefaultButton2) ? mb::IdNo : mb::IdYes;
}

QString ScriptedPlatform::chooseFile(const FileDialogRequest& request) {
    fileRequests.append(request);
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

void ScriptedPlatform::shellOpen(const QString& target) {
    launches << target;
}

QString ScriptedPlatform::favoritesFolder() {
    return favorites;
}

SystemSettings& ScriptedPlatform::systemSettings() {
    return *m_settings;
}

void ScriptedPlatform::setSystemSettings(std::unique_ptr<SystemSettings> settings) {
    m_settings = std::move(settings);
}

} // namespace qb
