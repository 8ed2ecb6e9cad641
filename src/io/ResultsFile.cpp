#include "io/ResultsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "io/Fail.h"

namespace {

// Appends printf-formatted text to `out`.
void appendFormatted(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        std::size_t old = out.size();
        out.resize(old + static_cast<std::size_t>(length) + 1);
        std::vsnprintf(&out[old], static_cast<std::size_t>(length) + 1, format, again);
        out.resize(old + static_cast<std::size_t>(length));
    }
    va_end(again);
}

std::string formatRow(double My, double TimeToOri, double PopSizeOriTha, double PopSizePreTha,
                      double PopSizeOriSue, double PopSizePreSue, double FracSueMono, double DS,
                      int numbAccepted) {
    std::string text;
    if (numbAccepted == 1) {
        appendFormatted(text, "%-8s", "Rep#");
        for (const char* column : {"My", "TimeToOri", "PopSizeOriTha", "PopSizePreTha",
                                   "PopSizeOriSue", "PopSizePreSue", "FracSueMono", "DS"})
            appendFormatted(text, "%-15s", column);
        appendFormatted(text, "%s\n\n", "");
    }
    appendFormatted(text, "%-8d", numbAccepted);
    for (double value : {My, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue, PopSizePreSue})
        appendFormatted(text, "%-15.2e", value);
    appendFormatted(text, "%-15.5f", FracSueMono);
    appendFormatted(text, "%-15.2e", DS);
    appendFormatted(text, "%s\n", "");
    return text;
}

}  // namespace

void printOutfile(double My, double TimeToOri, double PopSizeOriTha, double PopSizePreTha,
                  double PopSizeOriSue, double PopSizePreSue, double FracSueMono, double DS,
                  int numbAccepted, const char* outfileName) {
    const std::string text = formatRow(My, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue,
                                       PopSizePreSue, FracSueMono, DS, numbAccepted);
    const std::string cannotWrite =
        std::string("error: printOutfile: cannot write ") + outfileName + "\n";

    int fd = open(outfileName, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) fail("Error opening outfile\n");

    struct stat before;
    const bool regular = fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    ssize_t written;
    do {
        written = write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);

    if (written != static_cast<ssize_t>(text.size())) {
        // Take back a partial row (a full disk), so that the file keeps only
        // complete rows.
        if (written > 0 && regular && ftruncate(fd, before.st_size) != 0) {
            // Nothing more can be done; the message below still reports it.
        }
        close(fd);
        fail(cannotWrite);
    }
    if (close(fd) != 0) fail(cannotWrite);
}
