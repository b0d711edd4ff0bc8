#include "app/datafolder.h"

#include <QFile>

#include "state/folders.h"
#include "state/registry.h"

DataFolder DataFolder::locate(const Registry &registry, const QString &roaming) {
    DataFolder located;
    located.folder = Folders::computedDataFolder(roaming);
    // A value of another type is left as it is and not used.
    QByteArray stored;
    if (registry.readText(regkey::appDataPath(), stored)) {
        const QString text = QFile::decodeName(stored);
        if (text.indexOf(Folders::marker()) >= 1)
            located.folder = text;
        else
            located.store = true;
    }
    if (!located.folder.endsWith(u'/'))
        located.folder += u'/';
    return located;
}
