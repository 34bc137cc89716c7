#include "platform/pathcompare.h"

namespace zelvano::platform {

Qt::CaseSensitivity FileNameCaseSensitivity()
{
    return Qt::CaseSensitive;
}

} // namespace zelvano::platform
