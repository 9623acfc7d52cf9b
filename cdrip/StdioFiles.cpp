#include "CDRIP.h"
#include "StdioFile.h"

#include <cstdio>

namespace cdrip {
namespace {

class TStdioFile : public TOutputFile {
public:
    explicit TStdioFile(std::FILE* f) : FFile(f) {}

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
               std::fwrite(data, 1, size, FFile.get()) == size && std::fseek(FFile.get(), here, SEEK_SET) == 0;
    }

    bool Close() override
    {
        return util::CloseFile(FFile);
    }

private:
    util::TStdioFile FFile;
};

class TStdioFileSystem : public TFileSystem {
public:
    std::unique_ptr<TOutputFile> Create(const std::string& fileName) override
    {
        std::FILE* f = std::fopen(fileName.c_str(), "wb");
        if (!f)
            throw rtl::EFCreateError(rtl::FileCreateErrorMessage(fileName));
        return std::make_unique<TStdioFile>(f);
    }

    bool Remove(const std::string& fileName) override { return std::remove(fileName.c_str()) == 0; }
};

}  // namespace

TFileSystem& StdioFileSystem()
{
    static TStdioFileSystem files;
    return files;
}

}  // namespace cdrip
