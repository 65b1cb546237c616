#include "archivecheck.h"

#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace korvex {

namespace {

// An open member, closed however the reading ends (an exception included).
struct ZipFileCloser
{
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using ZipFile = std::unique_ptr<zip_file_t, ZipFileCloser>;

} // namespace

ArchiveCheck::~ArchiveCheck()
{
    if (m_archive)
        zip_discard(m_archive);
}

bool ArchiveCheck::open(const std::string &path, std::string *error)
{
    m_path = path;
    int code = 0;
    m_archive = zip_open(path.c_str(), ZIP_CHECKCONS | ZIP_RDONLY, &code);
    if (m_archive)
        return true;
    if (error) {
        zip_error_t why;
        zip_error_init_with_code(&why, code);
        *error = path + ": damaged archive (" + zip_error_strerror(&why) + ")";
        zip_error_fini(&why);
    }
    return false;
}

bool ArchiveCheck::checkMembers(std::string *error, const std::atomic<bool> *stop)
{
    if (!m_archive) {
        if (error)
            *error = m_path + ": not open";
        return false;
    }
    std::vector<char> buffer(1 << 16);
    std::string problem;
    const zip_int64_t entries = zip_get_num_entries(m_archive, 0);
    for (zip_int64_t i = 0; i < entries && problem.empty(); ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char *name = zip_get_name(m_archive, index, 0);
        const std::string member = name ? name : "?";
        const ZipFile file(zip_fopen_index(m_archive, index, 0));
        if (!file) {
            problem = member + ": " + zip_strerror(m_archive);
            break;
        }
        zip_int64_t n;
        while ((n = zip_fread(file.get(), buffer.data(), buffer.size())) > 0) {
            if (stop && stop->load(std::memory_order_relaxed))
                break;
        }
        if (n < 0)
            problem = member + ": " + zip_file_strerror(file.get());
    }
    if (problem.empty())
        return true;
    if (error)
        *error = m_path + ": corrupt capture data (" + problem + ")";
    return false;
}

std::string ArchiveCheck::membersAfterGap(const std::vector<std::string> &bases) const
{
    // The numbers of "<base>-<n>" members by base, in one pass over the names.
    std::map<std::string, std::set<unsigned long>> numbered;
    const zip_int64_t entries = m_archive ? zip_get_num_entries(m_archive, 0) : 0;
    for (zip_int64_t i = 0; i < entries; ++i) {
        const char *name = zip_get_name(m_archive, static_cast<zip_uint64_t>(i), 0);
        const char *dash = name ? std::strrchr(name, '-') : nullptr;
        if (!dash || dash[1] < '1' || dash[1] > '9')
            continue;
        char *end = nullptr;
        const unsigned long n = std::strtoul(dash + 1, &end, 10);
        if (*end == '\0')
            numbered[std::string(name, dash)].insert(n);
    }
    for (const std::string &base : bases) {
        const auto found = numbered.find(base);
        if (found == numbered.end())
            continue;
        const std::set<unsigned long> &numbers = found->second;
        unsigned long missing = 1;
        while (numbers.count(missing))
            ++missing;
        const auto after = numbers.upper_bound(missing);
        if (after == numbers.end())
            continue;
        const size_t more = size_t(std::distance(after, numbers.end())) - 1;
        return base + "-" + std::to_string(missing) + " is missing, so " + base + "-" +
               std::to_string(*after) +
               (more ? " and " + std::to_string(more) + " more members after it" : "") +
               " would not be read";
    }
    return std::string();
}

bool ArchiveCheck::readMember(const char *name, size_t limit, std::string *text, std::string *error)
{
    text->clear();
    const zip_int64_t index = m_archive ? zip_name_locate(m_archive, name, 0) : -1;
    if (index < 0)
        return false;
    auto fail = [&](const std::string &why) {
        if (error)
            *error = m_path + ": corrupt capture data (" + name + ": " + why + ")";
        return false;
    };
    ZipFile file(zip_fopen_index(m_archive, static_cast<zip_uint64_t>(index), 0));
    if (!file)
        return fail(zip_strerror(m_archive));
    char buffer[4096];
    zip_int64_t n;
    while ((n = zip_fread(file.get(), buffer, sizeof buffer)) > 0 && text->size() <= limit)
        text->append(buffer, static_cast<size_t>(n));
    const std::string why = n < 0 ? zip_file_strerror(file.get()) : "";
    file.reset();
    if (n < 0)
        return fail(why);
    if (text->size() > limit)
        return fail("longer than " + std::to_string(limit) + " bytes");
    return true;
}

} // namespace korvex
