// libFuzzer target for the settings file reader: any bytes must load without crashing or reading past the
// data, and what is saved after such a load must load again to the very same bytes.
#include "settings/settings.h"

#include <cstdint>
#include <cstdlib>
#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    CXSettings settings;
    settings.LoadSettingsFromBytes(bytes);

    const QByteArray saved = settings.SaveSettingsToBytes();
    CXSettings again;
    if (!again.LoadSettingsFromBytes(saved))
        std::abort(); // a saved file must always be complete
    if (again.SaveSettingsToBytes() != saved)
        std::abort(); // load and save must be a fixed point
    return 0;
}
