// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string>

namespace quarn {

// The file named by -o, made standard output so that it takes no descriptor
// of the walk's. A regular file (or none yet) is written beside itself
// under no name (O_TMPFILE), or a hidden temporary name where the file
// system has no such files, and put in its place by a rename only once the
// whole document was written and closed: a run that fails or is ended by a
// signal leaves the old file byte for byte, and no temporary. Anything else
// (a device, a FIFO, a terminal, or what a link of /proc's such as
// /dev/stdout names) is written as a stream, as by '>'.
//
// A symbolic link is followed, and what it points to replaced, except
// where the kernel's fs.protected_symlinks would refuse to follow it: a
// link in a sticky world-writable folder, owned neither by the process's
// effective user nor by the folder's owner.
class AtomicOutput
{
public:
    AtomicOutput() = default;
    ~AtomicOutput(); // a temporary not put in place is removed
    AtomicOutput(const AtomicOutput &) = delete;
    AtomicOutput &operator=(const AtomicOutput &) = delete;

    // Makes standard output the temporary for file (or file itself, for a
    // stream). Empty on success, else the error line without "quarn: ".
    std::string open(const std::string &file);
    // Puts the temporary in file's place; precondition: the whole document
    // was written to standard output. Empty on success, else the error line
    // without "quarn: ", the old file left as it was.
    std::string commit();
    // The file as named, for messages.
    const std::string &file() const { return m_file; }

private:
    enum class Kind { None, Stream, Unnamed, Named };

    std::string prepare(const std::string &target, bool exists, unsigned mode, unsigned owner,
                        unsigned group);
    void discard();

    Kind m_kind = Kind::None;
    std::string m_file;      // as given
    std::string m_target;    // what is replaced: m_file, or what a link there points to
    std::string m_folder;    // m_target's
    std::string m_temporary; // a named temporary's path; empty while unnamed
};

} // namespace quarn
