// Opens only regular files. Opening a FIFO for reading blocks until a writer
// comes, which would freeze the window; a device or a directory is no saved
// capture either. The file is opened without blocking, checked on the
// descriptor, and only then used (and, for writing, cut to nothing), so there
// is no gap between check and use.
//
// A fixed name in a folder others may write (the capture file, its lock) is
// opened with OwnFileOnly: a symbolic link there is refused rather than
// followed, and a file that another user owns or that has a second name is
// never cut, so nobody can point the program at a file it must not destroy.
#pragma once

#include <QFile>
#include <QSaveFile>
#include <QString>

class RegularFile
{
public:
    enum class Status {
        Opened,
        NotRegular, // a link (OwnFileOnly), FIFO, device, socket or directory: left alone
        NotOurs,    // OwnFileOnly, writing: another user's file, or one with other names
        Failed,     // could not be opened (errorString says why)
    };

    // How far a path is trusted. A path the user chose may be a link to the
    // file meant; a fixed name in a shared folder must be our own plain file.
    enum class Trust { FollowLinks, OwnFileOnly };

    // mode: ReadOnly, or ReadWrite (created when missing) with Truncate to
    // empty it. `file` must be closed; it owns the descriptor once Opened.
    static Status open(QFile &file, const QString &path, QIODevice::OpenMode mode,
                       QString *errorString = nullptr, Trust trust = Trust::FollowLinks);

    // The same as a blocking, close-on-exec descriptor (-1 unless Opened),
    // for code that works with descriptors; the caller closes it.
    static int openDescriptor(const QString &path, QIODevice::OpenMode mode, Status *status,
                              QString *errorString = nullptr, Trust trust = Trust::FollowLinks);

    // Opens `file` to replace the file its name leads to (links followed)
    // as a whole: written beside it, renamed over it by commit(), so a
    // failure or a discarded write leaves the earlier file as it was. An
    // existing file that is not regular is refused. mode adds to WriteOnly.
    static Status openForReplace(QSaveFile &file, QIODevice::OpenMode mode = {},
                                 QString *errorString = nullptr);

    // Why a file of this st_mode is not regular, for the user ("不是普通文件，而是目录").
    static QString notRegularText(unsigned mode);
};
