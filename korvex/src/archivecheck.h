// Checks a capture archive member by member against its checksums, through
// libzip: libsigrok ends a damaged member early without saying so.
#pragma once

#include "noncopyable.h"

#include <atomic>
#include <string>
#include <vector>

struct zip;

namespace korvex {

class ArchiveCheck : NonCopyable
{
public:
    ArchiveCheck() = default;
    ~ArchiveCheck();

    // Reads the archive's directory. Opening touches process-wide time-zone
    // state, so it belongs on the thread that also runs libsigrok.
    bool open(const std::string &path, std::string *error);

    // Reads every member to its end; may run on a thread of its own. A raised
    // `stop` ends the check early, as passed.
    bool checkMembers(std::string *error, const std::atomic<bool> *stop = nullptr);

    // libsigrok reads the members `base`-1, `base`-2, ... of each base until
    // one is missing. The members it would leave unread after the first such
    // gap, said in words; "" when there are none.
    std::string membersAfterGap(const std::vector<std::string> &bases) const;

    // Reads member `name` into *text. False when it is missing (with *error
    // untouched), damaged or longer than `limit` bytes (with the reason).
    bool readMember(const char *name, size_t limit, std::string *text, std::string *error);

private:
    std::string m_path;
    zip *m_archive = nullptr;
};

} // namespace korvex
