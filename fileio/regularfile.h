// Opens only regular files. Opening a FIFO for reading blocks until a writer
// comes, which would freeze the window; a device or a directory is no saved
// capture either. The file is opened without blocking, checked, and only then
// used (and, for writing, cut to nothing), so there is no gap between check
// and use.
#pragma once

#include <QFile>
#include <QString>

class RegularFile
{
public:
    enum class Status {
        Opened,
        NotRegular, // a FIFO, device, socket or directory: left alone ("不是普通文件")
        Failed,     // could not be opened (errorString says why)
    };

    // mode: ReadOnly, or ReadWrite (created when missing) with Truncate to
    // empty it. `file` must be closed; it owns the descriptor once Opened.
    static Status open(QFile &file, const QString &path, QIODevice::OpenMode mode,
                       QString *errorString = nullptr);
};
