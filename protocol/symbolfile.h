// The symbol definition file: XML, root element with one child per symbol.
// Reading goes strictly by position (element names are not consulted), so
// hand-edited files with other names still load; writing always produces
// the canonical names, UTF-8 with its declaration, indented by 4.
#pragma once

#include "protocol/symboldef.h"

#include <QString>

class QIODevice;

class SymbolFile
{
public:
    // The file the program itself reads and writes, relative to the working directory.
    static QString defaultPath();
    // Creates "symbols" in the working directory; failure (it exists, or
    // cannot be made) is not an error here: the open that follows reports it.
    static void makeDefaultDir();

    // Elements nested deeper than this are refused: a symbol file needs
    // three levels, and a hostile one must not exhaust memory or time.
    static constexpr int kMaxDepth = 64;

    // Reads the symbols of path into *symbols. Returns false, leaving *symbols
    // untouched and setting *errorString, when the path is not a regular
    // file or cannot be opened, does not parse, nests too deeply or has no
    // document element.
    static bool read(const QString &path, SymbolList *symbols, QString *errorString = nullptr);
    // Same, from an open device (parsing only). Streams through the file
    // without building a tree, so neither depth nor size costs stack.
    static bool read(QIODevice *device, SymbolList *symbols, QString *errorString = nullptr);

    // Replaces path's content with the symbols. Returns false and sets
    // *errorString (the system's text) when the file cannot be opened or
    // written; an existing path that is not a regular file is refused.
    static bool write(const QString &path, const SymbolList &symbols,
                      QString *errorString = nullptr);
    // The serialised document, as write() stores it.
    static QByteArray toXml(const SymbolList &symbols);
};
