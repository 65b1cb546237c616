// Feeds arbitrary bytes to the start settings reader: it never fails in a way
// other than "nothing read", and values it reads write and read back the same.
#include "fuzzrequire.h"
#include "settings/startsettingsfile.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qInstallMessageHandler(quiet);
    QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    const auto values = StartSettingsFile::read(&in);
    if (!values)
        return 0;

    static QTemporaryDir dir; // one per run; files in it are replaced each time
    require(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Setting/start_setting.xml"));
    require(StartSettingsFile::write(path, *values));
    const auto again = StartSettingsFile::read(path);
    require(again && again->channelIndex == values->channelIndex &&
            again->sampleRateIndex == values->sampleRateIndex);
    return 0;
}
