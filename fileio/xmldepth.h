// The nesting limit of the program's own XML files (symbols, start settings):
// a reader that recursed, or a user who waits, must never meet 50,000 levels.
#pragma once

#include <QObject>
#include <QXmlStreamReader>

// At an element's start, `depth` elements open around it: from maxDepth on,
// stops the reader with the reason. True when it did.
inline bool refuseDeeperThan(QXmlStreamReader &xml, int depth, int maxDepth)
{
    if (depth < maxDepth)
        return false;
    xml.raiseError(QObject::tr("元素嵌套超过 %1 层").arg(maxDepth));
    return true;
}
