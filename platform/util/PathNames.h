// Names within a path, for paths that use "/" as separator, and also "\" and
// ":" where a path may be written in drive-letter form ("C:\Fotos\a.wav").
#pragma once

#include <string>

namespace util {

// The part after the last separator; the whole path when there is none.
inline std::string BaseName(const std::string& path, const char* separators = "/")
{
    const std::string::size_type cut = path.find_last_of(separators);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The folder part of a path: "a/b/c.wav" gives "a", "/c.wav" gives "/" and
// "c.wav" gives "".
inline std::string FolderOf(const std::string& path)
{
    const std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Everything from the last dot after the last "\", "/" or ":" is replaced by
// `ext`; a name without such a dot gets `ext` appended.
inline std::string ReplaceExtension(const std::string& fileName, const std::string& ext)
{
    const std::string::size_type dot = fileName.find_last_of(".\\/:");
    if (dot == std::string::npos || fileName[dot] != '.')
        return fileName + ext;
    return fileName.substr(0, dot) + ext;
}

}  // namespace util
