#include "CDRIP.h"
#include "PathNames.h"
#include "ReplacingFile.h"
#include "StdioFile.h"

#include <cstdio>
#include <unistd.h>

namespace cdrip {
namespace {

// Buffered writes into a staged file.  The stream runs on a second
// descriptor of the same open file, so closing it keeps the staged file's
// lock until the rename.
class TStdioFile : public TOutputFile {
public:
    explicit TStdioFile(const std::string& fileName) : FStaged(fileName)
    {
        const int fd = ::dup(FStaged.Fd());
        if (fd >= 0)
            FFile.reset(::fdopen(fd, "wb"));
        if (!FFile) {
            if (fd >= 0)
                ::close(fd);
            throw rtl::EFCreateError(rtl::FileCreateErrorMessage(fileName));
        }
    }

    size_t Write(const void* data, size_t size) override
    {
        return FFile && size ? std::fwrite(data, 1, size, FFile.get()) : 0;
    }

    bool WriteAt(uint64_t offset, const void* data, size_t size) override
    {
        if (!FFile || std::fflush(FFile.get()) != 0)
            return false;
        const long here = std::ftell(FFile.get());
        return here >= 0 && std::fseek(FFile.get(), static_cast<long>(offset), SEEK_SET) == 0 &&
               std::fwrite(data, 1, size, FFile.get()) == size &&
               std::fseek(FFile.get(), here, SEEK_SET) == 0;
    }

    bool Commit() override
    {
        const bool flushed = util::CloseFile(FFile);
        if (!flushed) {
            FStaged.Discard();
            return false;
        }
        return FStaged.Commit();
    }

private:
    os::TReplacingFile FStaged;  // declared first: the stream closes before the file is dropped
    util::TStdioFile FFile;
};

class TStdioFileSystem : public TFileSystem {
public:
    std::unique_ptr<TOutputFile> Create(const std::string& fileName) override
    {
        return std::make_unique<TStdioFile>(fileName);
    }

    void RemoveStale(const std::string& fileName) override { os::RemoveStaleTemporaries(util::FolderOf(fileName)); }
};

}  // namespace

TFileSystem& StdioFileSystem()
{
    static TStdioFileSystem files;
    return files;
}

}  // namespace cdrip
