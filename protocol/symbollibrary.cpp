#include "protocol/symbollibrary.h"

#include "protocol/symbolfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>

namespace {
const char kLibraryPath[] = "/../share/korvex/symbol-library";

// The dialog's duplicate rule: every field but the name, simplified, upper case.
QString matchKey(const SymbolDef &symbol)
{
    QStringList key;
    for (int f = SymbolDef::Type; f < SymbolDef::kFieldCount; ++f)
        key << symbol[f].simplified().toUpper();
    return key.join(QLatin1Char('\n'));
}
} // namespace

QString SymbolLibrary::directory()
{
    const QDir dir(QCoreApplication::applicationDirPath() + QLatin1String(kLibraryPath));
    return dir.exists() ? dir.canonicalPath() : QString();
}

QStringList SymbolLibrary::files()
{
    const QString path = directory();
    if (path.isEmpty())
        return {};
    QStringList out;
    const QDir dir(path);
    for (const QString &name : dir.entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name))
        out << dir.filePath(name);
    return out;
}

int SymbolLibrary::addFiles(const QStringList &paths, SymbolList *symbols, QStringList *unreadable)
{
    QSet<QString> present;
    for (const SymbolDef &s : *symbols)
        present.insert(matchKey(s));
    int added = 0;
    for (const QString &path : paths) {
        SymbolList read;
        if (!SymbolFile::read(path, &read)) {
            if (unreadable)
                *unreadable << path;
            continue;
        }
        for (const SymbolDef &s : read) {
            const QString key = matchKey(s);
            if (present.contains(key))
                continue;
            present.insert(key);
            symbols->append(s);
            ++added;
        }
    }
    return added;
}
