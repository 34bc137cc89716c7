#include "platform/pathcompare.h"

namespace zelvano::platform {

Qt::CaseSensitivity FileNameCaseSensitivity()
{
    return Qt::CaseInsensitive;
}

} // namespace zelvano::platform
