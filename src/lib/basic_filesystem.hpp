// Include-path resolution: wide "/"-separated paths whose names may be regular expressions.
#pragma once

#include <string>
#include <vector>

namespace lib::basic_filesystem {

// One name, optionally with one trailing "/"; the empty path is not a single name.
bool is_single_name(const std::wstring& path);

// A leading "/" makes a path complete; complete names are used unchanged, others go below dir.
std::wstring join(const std::wstring& name, const std::wstring& dir);

// The path joined to the current working directory.
std::wstring make_absolute(const std::wstring& path);

// Moves dir into the entry that name denotes: the literal name when it exists, else the only entry whose
// whole file name matches name as a regular expression. False (dir unchanged) on no match, several
// matches or any error.
bool simple_cd(std::wstring& dir, const std::wstring& name);

// Appends every file that name denotes in dir: a literal existing directory gives its entries, a literal
// existing file itself; otherwise each entry whose file name matches name as a regular expression, in
// listing order, is listed the same way. Throws std::invalid_argument("lib/basic_filesystem/simple_ls")
// when name is not a single name; file-system errors propagate.
void simple_ls(const std::wstring& dir, const std::wstring& name, std::vector<std::wstring>& out);

// The existing files that the candidate path denotes, name by name from its first piece, appended to out
// (replacing out when the candidate has only one piece, which denotes a directory's entries).
void list_path(const std::wstring& candidate, std::vector<std::wstring>& out);

} // namespace lib::basic_filesystem
