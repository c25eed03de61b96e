#include "laterstarts.h"

#include "platform/singleinstance.h"
#include "sdiappform.h"

namespace qb {

void followLaterStarts(SingleInstance& instance, TSDIAppForm& form) {
    QObject::connect(&instance, &SingleInstance::activated, &form, [&form](const QString& token) {
        // A Wayland desktop raises a window only with a token from the start the user made;
        // the window system takes it from here when the window asks to be activated.
        if (!token.isEmpty())
            qputenv("XDG_ACTIVATION_TOKEN", token.toLatin1());
        if (form.isMinimized())
            form.showNormal();
        form.raise();
        form.activateWindow();
    });
    QObject::connect(&instance, &SingleInstance::fileOpenRequested, &form,
                     &TSDIAppForm::OpenDatabaseFile);
}

} // namespace qb
