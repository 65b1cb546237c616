#include "settings/adaptercatalog.h"

#include <korvex/korvex.h>

#include <QByteArray>

namespace {

QString describeLibraryAdapter(int index)
{
    QByteArray buf(256, '\0');
    int32_t length = describeAdapter(index, buf.data(), buf.size());
    if (length < 0)
        return QString();
    if (length >= buf.size()) {
        // The text was cut to fit; ask again with room for all of it.
        buf.resize(length + 1);
        length = describeAdapter(index, buf.data(), buf.size());
        if (length < 0)
            return QString();
    }
    return QString::fromUtf8(buf.constData(), qMin<int>(length, buf.size() - 1));
}

} // namespace

AdapterCatalog AdapterCatalog::library()
{
    AdapterCatalog catalog;
    catalog.count = [] { return int(scanAdapters(nullptr)); };
    catalog.describe = describeLibraryAdapter;
    return catalog;
}
