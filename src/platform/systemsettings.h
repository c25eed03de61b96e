#pragma once

#include <QString>
#include <QStringList>

namespace qb {

// The system settings the settings window lists and prunes. Each platform fills in what it
// has; what it lacks it reports as unavailable so the window can say so.
class SystemSettings {
public:
    virtual ~SystemSettings() = default;
};

} // namespace qb
