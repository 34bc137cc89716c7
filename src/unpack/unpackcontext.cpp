#include "unpack/unpackcontext.h"

#include "common/runcontrol.h"
#include "common/workerhost.h"
#include "settings/settings.h"

const CXSettings& SettingsOf(const CXUnpackContext& ctx)
{
    static const CXSettings defaults;
    return ctx.m_pSettings ? *ctx.m_pSettings : defaults;
}

bool EnterArchive(CXUnpackContext& ctx)
{
    if (ctx.m_pRun && ctx.m_pRun->Check())
        return true;
    if (ctx.m_pHost)
        ctx.m_pHost->StatusText(1, QString());
    return false;
}
