// The library of device symbol files shipped with the program: where it is,
// which files it holds, and adding files' symbols to a list.
#pragma once

#include "protocol/symboldef.h"

#include <QString>
#include <QStringList>

class SymbolLibrary
{
public:
    // The library folder: share/korvex/symbol-library beside the program's
    // bin folder (the build tree and an installed program alike); empty when
    // there is none.
    static QString directory();
    // The library's symbol files, full paths, sorted by name.
    static QStringList files();

    // Appends the symbols of each file to *symbols, leaving out any that is
    // already there (same texts apart from the name, as the dialog's add
    // compares them). Returns the number added; the files that could not be
    // read go to *unreadable.
    static int addFiles(const QStringList &paths, SymbolList *symbols,
                        QStringList *unreadable = nullptr);
};
