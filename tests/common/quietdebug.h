// The capture callback logs every batch at debug level; at full speed that is millions of lines.
// Tests that capture for long drop debug messages and keep the rest. QTest installs its own handler
// when a run starts, so call this from the test function.
#pragma once

#include <QtGlobal>

#include <cstdio>

inline void dropDebugMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
}
