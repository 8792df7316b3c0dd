// quarn: reports the largest entries of a directory tree.

#include "jsonwriter.h"
#include "options.h"
#include "textwriter.h"
#include "walker.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

void writeAll(int fd, const std::string &text)
{
    const char *data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written <= 0)
            return;
        data += written;
        left -= std::size_t(written);
    }
}

// Shows a name's bytes with those outside printable ASCII as \xHH.
std::string escapedBytes(const std::string &name)
{
    std::string text;
    for (unsigned char c : name) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        }
    }
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    quarn::Options options;
    std::string problem = quarn::parseOptions(argc - 1, argv + 1, options);
    if (!problem.empty()) {
        writeAll(STDERR_FILENO, "quarn: " + problem + "\n" + quarn::usageText());
        return 2;
    }
    if (options.action == quarn::Options::Help) {
        writeAll(STDOUT_FILENO, quarn::usageText());
        return 0;
    }
    if (options.action == quarn::Options::Version) {
        writeAll(STDOUT_FILENO, quarn::versionText());
        return 0;
    }

    quarn::ScanSettings settings;
    settings.top = options.top;
    settings.apparentSize = options.apparentSize;
    settings.oneFileSystem = options.oneFileSystem;
    settings.threads = options.threads ? options.threads : quarn::defaultThreadCount();
    quarn::ScanResult result = quarn::scan(options.path, settings);
    if (result.status == quarn::ScanResult::TargetUnreadable)
        return 2;

    if (options.json) {
        quarn::JsonText json = quarn::writeJson(result.report, options.exactSizes);
        for (const std::string &name : json.badNames)
            writeAll(STDERR_FILENO,
                     "quarn: name is not UTF-8, shown with U+FFFD: '" + escapedBytes(name) + "'\n");
        writeAll(STDOUT_FILENO, json.text);
    } else {
        writeAll(STDOUT_FILENO, quarn::writeText(result.report, options.exactSizes, ::isatty(STDOUT_FILENO)));
    }
    return result.status == quarn::ScanResult::Complete ? 0 : 1;
}
