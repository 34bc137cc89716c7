#include "platform/pathcompare.h"

namespace zelvano::platform {

bool SamePathText(const QString& a, const QString& b)
{
    return QString::compare(a, b, FileNameCaseSensitivity()) == 0;
}

} // namespace zelvano::platform
