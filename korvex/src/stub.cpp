// Placeholder until the real backends land: an adapter library with no adapter.
#include <korvex/korvex.h>

#include <cstring>

extern "C" {
KORVEX_API int32_t scanAdapters(void *) { return 0; }
KORVEX_API uint8_t openAdapter(int32_t) { return 0; }
KORVEX_API int32_t startI2CCapture(int32_t, int32_t, int32_t, I2CCaptureCallback) { return -1; }
KORVEX_API int32_t stopI2CCapture(int32_t) { return 0; }
KORVEX_API int32_t describeAdapter(int32_t, char *buf, int32_t size)
{
    if (buf && size > 0)
        buf[0] = '\0';
    return -1;
}
}
