// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

struct DirNode;

// The entries a scan leaves out (neither counted nor reported, folders not
// walked), matched as du --exclude matches them: a shell pattern, matched
// by fnmatch without flags ('*' and '?' match '/' and leading dots too;
// characters as the locale's LC_CTYPE reads them, ranges as LC_COLLATE orders them),
// against the entry's displayed path and every part of it that follows a
// '/'. Patterns that cannot match more through the path than through the
// last component are matched against the name alone, which needs no path.
// The target itself is never left out.
class Exclusion
{
public:
    void addPattern(std::string_view pattern);
    // Adds every line of file ("-": standard input) as a pattern, trailing
    // white space removed, blank lines skipped, cut at a NUL. Returns an empty text, or
    // why the file could not be read.
    std::string addPatternsFrom(const std::string &file);
    // Folders holding a valid CACHEDIR.TAG keep the tag, nothing else.
    void setExcludeCaches(bool exclude) { m_excludeCaches = exclude; }
    // To be called once all patterns are in (and before excludes()), with
    // the target's displayed name, which starts every path matched.
    void setTarget(std::string_view targetName);

    bool active() const
    {
        return m_excludeCaches || !m_nameLiterals.empty() || !m_nameGlobs.empty() || matchesPaths();
    }
    bool excludesCaches() const { return m_excludeCaches; }
    bool matchesPaths() const { return !m_pathLiterals.empty() || !m_pathGlobs.empty(); }

    // Whether the entry name is left out; path is its displayed path, needed
    // only when matchesPaths().
    bool excludes(const char *name, const std::string *path) const;

private:
    std::vector<std::string> m_nameLiterals; // sorted; compared with the name
    std::vector<std::string> m_pathLiterals; // sorted; hold a '/'
    std::vector<std::string> m_nameGlobs;
    std::vector<std::string> m_pathGlobs;
    bool m_excludeCaches = false;
};

// Whether the folder open as dirFd holds a regular file CACHEDIR.TAG that
// starts with the cache directory signature.
bool isCacheDirectory(int dirFd);

// One walking thread's view of the folder it lists: decides entry by entry
// what the exclusion leaves out. Keeps the folder's path only when some
// pattern needs it, and extends it instead of rebuilding it when the next
// folder is a subfolder of the last.
class FolderFilter
{
public:
    // Starts the folder dir, open as fd; exclusion may be null (nothing left out).
    void enter(const Exclusion *exclusion, const DirNode *dir, int fd);
    bool skips(const char *name) { return m_exclusion && skipsEntry(name); }

private:
    bool skipsEntry(const char *name);

    const Exclusion *m_exclusion = nullptr;
    bool m_tagOnly = false;
    const DirNode *m_pathDir = nullptr; // the folder whose path m_path starts with
    std::string m_path;                 // that folder's path and '/', then the entry's name
    std::size_t m_folderLength = 0;
};

} // namespace quarn
