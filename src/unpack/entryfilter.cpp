#include "unpack/entryfilter.h"

#include "settings/imagefilter.h"

bool IsPhotoEntryName(const QString& name, bool hidden, const QString& extensionList)
{
    const QString lowerName = name.toLower();
    if (lowerName.contains(QLatin1String("__macosx")) || lowerName.contains(QLatin1String(".ds_store")))
        return false;
    if (hidden)
        return false;
    return MatchesExtensionList(name, extensionList);
}
