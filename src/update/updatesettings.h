#pragma once

#include <QString>

#include "state/records.h"
#include "state/status.h"

class ProgramData;

// The settings fields of the settings record as the update settings dialog edits them.
struct UpdateSettingsForm {
    int checkFrequency = 0;  // index of "Daily (Recommended)" ... "Never Check"
    int whenFound = 0;       // 0 ask, 1 download automatically
    int intervalDays = 0;
    bool useProxy = false;
    QString proxyServer;
    QString proxyPort;
    QString proxyUser;
    QString proxyPassword;
};

namespace updatesettings {

constexpr int textRoom = 255;
constexpr int portRoom = 10;

UpdateSettingsForm load(const SettingsRecord &record);

// Copies only the settings fields into the record: indices as their low byte, the interval
// brought into 0 to 100, texts cut to 255 characters and the port to 10. The vault count and
// the update state stay as they are.
void apply(const UpdateSettingsForm &form, SettingsRecord &record);

// Applies the form to the program's record and writes the whole record.
Status save(ProgramData &data, const UpdateSettingsForm &form);

}  // namespace updatesettings
