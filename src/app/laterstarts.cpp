#include "laterstarts.h"

#include "platform/singleinstance.h"
#include "sdiappform.h"

namespace qb {

void followLaterStarts(SingleInstance& instance, TSDIAppForm& form) {
    QObject::connect(&instance, &SingleInstance::activated, &form, [&form] {
        if (form.isMinimized())
            form.showNormal();
        form.raise();
        form.activateWindow();
    });
    QObject::connect(&instance, &SingleInstance::fileOpenRequested, &form,
                     &TSDIAppForm::OpenDatabaseFile);
}

} // namespace qb
