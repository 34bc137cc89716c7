#include "platform/desktop/trayclick.h"

bool TraySingleClickRestores()
{
    return true;
}
