// Include-path resolution over std::filesystem, with Boost.Regex patterns for names that do not exist.
#include "lib/basic_filesystem.hpp"

#include <filesystem>
#include <optional>
#include <stdexcept>

#include <boost/regex.hpp>

#include "exception.hpp"

namespace lib::basic_filesystem {
namespace fs = std::filesystem;

namespace {

fs::path to_path(const std::wstring& w) { return fs::path(vorla::narrow(w)); }

bool exists(const std::wstring& w) { return fs::exists(to_path(w)); }

bool is_directory(const std::wstring& w) { return fs::is_directory(to_path(w)); }

// The directory's entries as full paths (directory, "/", name) in the order the file system yields them.
// A directory that does not exist has no entries; an existing file that is no directory is an error.
std::vector<std::wstring> entries(const std::wstring& dir)
{
    std::vector<std::wstring> out;
    const fs::path p = to_path(dir);
    if (!fs::exists(p)) return out;
    for (const auto& e : fs::directory_iterator(p))
        out.push_back(join(vorla::widen(e.path().filename().string()), dir));
    return out;
}

std::wstring file_name(const std::wstring& full) { return full.substr(full.rfind(L'/') + 1); }

// The name as a whole-name pattern; a name that is no valid pattern matches nothing, so an include of a
// missing file with stray brackets reports the missing file rather than a pattern error.
std::optional<boost::wregex> pattern(std::wstring name)
{
    if (!name.empty() && name.back() == L'/') name.pop_back();
    try {
        boost::wregex re;
        re.imbue(vorla::text_locale());
        re.assign(name, boost::regex_constants::perl);
        return re;
    } catch (const boost::regex_error&) {
        return std::nullopt;
    }
}

bool matches(const std::optional<boost::wregex>& re, const std::wstring& full)
{
    return re && boost::regex_match(file_name(full), *re);
}

// Resolves names[i..] below base, appending what the last name denotes. An intermediate name that
// matches several directories is followed into each of them; the path then goes on only below those.
void walk(std::wstring base, const std::vector<std::wstring>& names, std::size_t i, std::vector<std::wstring>& out)
{
    for (; i + 1 < names.size(); ++i) {
        const std::wstring& name = names[i];
        if (simple_cd(base, name)) continue;
        const auto re = pattern(name);
        for (const auto& e : entries(base))
            if (matches(re, e) && is_directory(e)) walk(e, names, i + 1, out);
        return;
    }
    simple_ls(base, names.back(), out);
}

bool has_dot_name(const std::wstring& path)
{
    std::size_t start = 0;
    for (;;) {
        const auto end = path.find(L'/', start);
        const auto name = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (name == L"." || name == L"..") return true;
        if (end == std::wstring::npos) return false;
        start = end + 1;
    }
}

} // namespace

bool is_single_name(const std::wstring& path)
{
    if (path.empty()) return false;
    const auto slash = path.find(L'/');
    return slash == std::wstring::npos || (slash == path.size() - 1 && slash != 0);
}

std::wstring join(const std::wstring& name, const std::wstring& dir)
{
    if (!name.empty() && name.front() == L'/') return name;
    if (dir.empty() || dir.back() == L'/') return dir + name;
    return dir + L'/' + name;
}

std::wstring make_absolute(const std::wstring& path)
{
    return join(path, vorla::widen(fs::current_path().string()));
}

bool simple_cd(std::wstring& dir, const std::wstring& name)
{
    if (!is_single_name(name)) return false;
    // A directory the process may not read, or a file where a directory was expected, is no way in:
    // the caller then tries the name as a pattern or reports the missing file.
    try {
        std::wstring k = join(name, dir);
        if (exists(k)) {
            dir = std::move(k);
            return true;
        }
        const auto re = pattern(name);
        std::wstring match;
        int count = 0;
        for (const auto& e : entries(dir)) {
            if (!matches(re, e)) continue;
            if (++count == 2) return false;
            match = e;
        }
        if (count != 1) return false;
        dir = join(file_name(match), dir);
        return true;
    } catch (const fs::filesystem_error&) {
        return false;
    } catch (const boost::regex_error&) {
        // A pattern too complex to match against an entry's name.
        return false;
    }
}

void simple_ls(const std::wstring& dir, const std::wstring& name, std::vector<std::wstring>& out)
{
    if (!is_single_name(name)) throw std::invalid_argument("lib/basic_filesystem/simple_ls");
    const std::wstring k = join(name, dir);
    if (exists(k)) {
        if (is_directory(k)) {
            for (auto& e : entries(k)) out.push_back(std::move(e));
        } else {
            out.push_back(k);
        }
        return;
    }
    const auto re = pattern(name);
    if (!re) return;
    for (const auto& e : entries(dir))
        if (matches(re, e)) simple_ls(dir, file_name(e), out);
}

void list_path(const std::wstring& candidate, std::vector<std::wstring>& out)
{
    const auto slash = candidate.find(L'/');
    const std::wstring first = candidate.substr(0, slash);
    const std::wstring rest = slash == std::wstring::npos ? std::wstring() : candidate.substr(slash + 1);

    const std::wstring base = make_absolute(first + L'/');
    if (rest.empty()) {
        out = entries(base);
        return;
    }
    // The remaining names; a doubled "/" names the same directory, so empty pieces are skipped, and a
    // trailing "/" stays with the last name.
    std::vector<std::wstring> names;
    std::size_t pos = 0;
    while (pos < rest.size()) {
        auto next = rest.find(L'/', pos);
        if (next == std::wstring::npos || next + 1 == rest.size()) {
            if (next != pos) names.push_back(rest.substr(pos));
            break;
        }
        if (next > pos) names.push_back(rest.substr(pos, next - pos));
        pos = next + 1;
    }
    if (names.empty()) {
        out = entries(base);
        return;
    }
    const std::size_t first_new = out.size();
    walk(base, names, 0, out);
    // The compiler keeps each file once by its path text: a file reached through "." or ".." must read
    // the same as when it is named directly.
    for (std::size_t i = first_new; i < out.size(); ++i)
        if (has_dot_name(out[i])) out[i] = vorla::widen(fs::canonical(to_path(out[i])).string());
}

} // namespace lib::basic_filesystem
