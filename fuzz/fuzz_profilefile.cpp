// The preferences reader on any bytes: the file is read the way the program reads it at its
// start, written back the way it is written at the end, and read again.
#include "fuzzsupport.h"
#include "store/dataerror.h"
#include "store/preferences.h"
#include "store/profilefile.h"

using namespace qb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString file = fuzz::scratchFile("quillbox.ini");
    fuzz::writeScratch(file, data, size);

    const ProfileFile profile(file);
    for (const QString& section : {QStringLiteral("lastpath"), QStringLiteral("findstr")}) {
        const QStringList keys = profile.sectionKeys(section);
        for (const QString& key : keys) {
            profile.readString(section, key, QString());
            profile.readInt(section, key, -1);
        }
    }
    // A damaged count or entry key must not make loading hang or eat the memory: the run's
    // time and memory limits catch that.
    const Preferences loaded = LoadPreferences(file);

    SavePreferences(file, loaded);
    const Preferences reloaded = LoadPreferences(file);
    for (size_t book = 0; book < loaded.histories.size(); ++book)
        fuzz::require(reloaded.histories[book].size() == loaded.histories[book].size(),
                      "saving keeps the number of history entries");
    return 0;
}
