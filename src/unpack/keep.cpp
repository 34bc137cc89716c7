#include "unpack/keep.h"

#include "common/format.h"

namespace zelvano::kept {

QString OtherFiles(int count, const QStringList& firstNames)
{
    QString names = firstNames.join(QStringLiteral(", "));
    if (count > firstNames.size())
        names += QStringLiteral(", ...");
    return QStringLiteral("holds %1 that %2 not extracted (%3)")
        .arg(FormatQuantity(count, QStringLiteral("other file"), false),
             count == 1 ? QStringLiteral("was") : QStringLiteral("were"), names);
}

QString FailedEntries(int count)
{
    return QStringLiteral("%1 failed")
        .arg(FormatQuantity(count, QStringLiteral("entry"), false))
        .replace(QStringLiteral("entrys"), QStringLiteral("entries"));
}

QString NotOpened()
{
    return QStringLiteral("the archive could not be opened");
}

QString Changed()
{
    return QStringLiteral("the archive changed after it was unpacked");
}

QString NotConfirmed()
{
    return QStringLiteral("the deletion was not confirmed");
}

QString Stopped()
{
    return QStringLiteral("the run was stopped before the archive was finished");
}

QString DeleteFailed(bool recycle)
{
    return recycle ? QStringLiteral("the archive could not be moved to the trash")
                   : QStringLiteral("the archive could not be deleted");
}

} // namespace zelvano::kept
