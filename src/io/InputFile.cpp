#include "io/InputFile.h"

#include <sys/stat.h>

#include <ios>
#include <iterator>

std::string directoryProblem(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return path + ": is a directory";
    return "";
}

bool readWhole(std::istream& in, std::string& text) {
    try {
        text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        in.setstate(std::ios::badbit);
        return false;
    }
    return !in.bad();
}
