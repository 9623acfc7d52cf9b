// A stdio FILE owned by a unique_ptr, closed without a report when it goes;
// whoever must know whether buffered bytes reached the disc closes it with
// CloseFile instead.
#pragma once

#include <cstdio>
#include <memory>

namespace util {

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using TStdioFile = std::unique_ptr<std::FILE, TFileCloser>;

// Closes and reports whether everything was stored; an empty handle is false.
inline bool CloseFile(TStdioFile& file) { return file && std::fclose(file.release()) == 0; }

}  // namespace util
