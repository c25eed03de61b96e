#pragma once

#include "platform.h"

#include <QQueue>
#include <QStringList>
#include <QVector>
#include <memory>

namespace qb {

// A platform for tests: message boxes and file dialogs are answered from queues the test
// fills before the action, launches are recorded, nothing modal is ever shown.
class ScriptedPlatform : public Platform {
public:
    struct Message {
        QString text;
        QString caption;
        unsigned flags = 0;
    };

    ScriptedPlatform();
    ~ScriptedPlatform() override;
    int messageBox(const QString& text, const QString& caption, unsigned flags) override;
    QString chooseFile(const FileDialogRequest& request) override;
    void shellOpen(const QString& target) override;
    QString favoritesFolder() override;
    SystemSettings& systemSettings() override;
    void setSystemSettings(std::unique_ptr<SystemSettings> settings);

    // Answers for the next message boxes; without one a box gets its default button.
    QQueue<int> answers;
    QVector<Message> messages;
    // Names for the next file dialogs; without one a dialog counts as cancelled.
    QQueue<QString> fileAnswers;
    QVector<FileDialogRequest> fileRequests;
    QStringList launches;
    QString favorites;

private:
    std::unique_ptr<SystemSettings> m_settings;
};

// Installs a scripted platform for the lifetime of the object.
class ScopedScriptedPlatform : public ScriptedPlatform {
public:
    ScopedScriptedPlatform() { setPlatform(this); }
    ~ScopedScriptedPlatform() override { setPlatform(nullptr); }
};

} // namespace qb
