#include "CDRIP.h"
#include "PathNames.h"
#include "ReplacingFile.h"

#include <vector>

namespace cdrip {
namespace {

// Buffered writes into a file that replaces its final name on Commit.  The
// buffer spares the system a call for every small piece the encoder gives.
class TBufferedFile : public TOutputFile {
public:
    explicit TBufferedFile(const std::string& fileName) : FFile(fileName) { FBuffer.reserve(kBufferSize); }

    size_t Write(const void* data, size_t size) override
    {
        if (FBuffer.size() + size > kBufferSize && !Flush())
            return 0;
        if (size >= kBufferSize)
            return FFile.Write(data, size) ? size : 0;
        const auto* bytes = static_cast<const uint8_t*>(data);
        FBuffer.insert(FBuffer.end(), bytes, bytes + size);
        return size;
    }

    bool WriteAt(uint64_t offset, const void* data, size_t size) override
    {
        return Flush() && FFile.WriteAt(offset, data, size);
    }

    bool Commit() override
    {
        if (!Flush()) {
            FFile.Discard();
            return false;
        }
        return FFile.Commit();
    }

private:
    static constexpr size_t kBufferSize = 64 * 1024;

    bool Flush()
    {
        const bool written = FFile.Write(FBuffer.data(), FBuffer.size());
        FBuffer.clear();
        return written;
    }

    os::TReplacingFile FFile;
    std::vector<uint8_t> FBuffer;
};

class TDiskFileSystem : public TFileSystem {
public:
    std::unique_ptr<TOutputFile> Create(const std::string& fileName) override
    {
        return std::make_unique<TBufferedFile>(fileName);
    }

    void RemoveStale(const std::string& fileName) override
    {
        os::RemoveStaleTemporaries(util::FolderOf(fileName));
    }

    bool Remove(const std::string& fileName) override { return os::RemoveFile(fileName); }
};

}  // namespace

TFileSystem& DiskFileSystem()
{
    static TDiskFileSystem files;
    return files;
}

}  // namespace cdrip
