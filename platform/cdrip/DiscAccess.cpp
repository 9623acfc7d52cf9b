#include "DiscAccess.h"

#include "CdioLog.h"

#include <algorithm>

#include <climits>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace cdrip {

// Lead-out of session 1, lead-in of session 2 and the pregap of its first
// track lie between a CD-Extra's audio and its data track.
constexpr int32_t kSessionGapSectors = 6750 + 4500 + 150;

TrayState ProbeTray(const std::string& device)
{
    const int fd = ::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return TrayState::CannotOpen;
    const int status = ::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
    ::close(fd);
    switch (status) {
    case CDS_DISC_OK: return TrayState::DiscOk;
    case CDS_NO_DISC: return TrayState::NoDisc;
    case CDS_TRAY_OPEN: return TrayState::TrayOpen;
    case CDS_DRIVE_NOT_READY: return TrayState::NotReady;
    default: return TrayState::Unknown;
    }
}

bool NoReadableDisc(TrayState state)
{
    return state == TrayState::NoDisc || state == TrayState::TrayOpen || state == TrayState::NotReady ||
           state == TrayState::CannotOpen;
}

CdioPtr OpenDisc(const cddrives::Drive& drive)
{
    InstallLogHandler();
    if (drive.isImage) {
        const std::string path = cddrives::ResolveTray(drive.path);
        if (path.empty())
            return nullptr;
        return CdioPtr(cdio_open(path.c_str(), DRIVER_UNKNOWN));
    }
    if (!drive.problem.empty() || NoReadableDisc(ProbeTray(drive.path)))
        return nullptr;
    return CdioPtr(cdio_open(drive.path.c_str(), DRIVER_DEVICE));
}

bool ReadDiscToc(CdIo_t* cdio, DiscToc& toc)
{
    toc = DiscToc{};
    if (cdio == nullptr)
        return false;
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0)
        return false;

    for (track_t i = 0; i < count; ++i) {
        const track_t number = static_cast<track_t>(first + i);
        TocTrack track;
        const lsn_t start = cdio_get_track_lsn(cdio, number);
        if (start == CDIO_INVALID_LSN)
            return false;
        track.start = start;
        const lsn_t pregap = cdio_get_track_pregap_lsn(cdio, number);
        if (pregap != CDIO_INVALID_LSN && pregap < start)
            track.pregapStart = pregap;
        track.audio = cdio_get_track_format(cdio, number) == TRACK_FORMAT_AUDIO;
        track.number = static_cast<uint8_t>(number);
        toc.tracks.push_back(track);
    }
    const lsn_t leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (leadOut == CDIO_INVALID_LSN)
        return false;
    toc.leadOut = leadOut;

    lsn_t session = 0;
    if (cdio_get_last_session(cdio, &session) == DRIVER_OP_SUCCESS && session > 0)
        toc.lastSessionStart = session;
    return true;
}

bool SameToc(const DiscToc& a, const DiscToc& b)
{
    const auto same = [](const TocTrack& x, const TocTrack& y) {
        return x.start == y.start && x.audio == y.audio && x.number == y.number;
    };
    return a.leadOut == b.leadOut &&
           std::equal(a.tracks.begin(), a.tracks.end(), b.tracks.begin(), b.tracks.end(), same);
}

int TrackIndexOf(const DiscToc& toc, int32_t lsn)
{
    if (toc.tracks.empty() || lsn < toc.tracks.front().start || lsn >= toc.leadOut)
        return -1;
    int index = 0;
    for (size_t i = 1; i < toc.tracks.size(); ++i) {
        if (toc.tracks[i].start <= lsn)
            index = static_cast<int>(i);
    }
    return index;
}

int32_t LastAudioSector(const DiscToc& toc, int index)
{
    size_t i = static_cast<size_t>(index);
    while (i + 1 < toc.tracks.size() && toc.tracks[i + 1].audio)
        ++i;
    if (i + 1 >= toc.tracks.size())
        return toc.leadOut - 1;

    const TocTrack& data = toc.tracks[i + 1];
    int32_t last = (data.pregapStart >= 0 ? data.pregapStart : data.start) - 1;
    if (toc.lastSessionStart > toc.tracks[i].start && data.start >= toc.lastSessionStart)
        last = std::min(last, data.start - kSessionGapSectors - 1);
    return last;
}

}  // namespace cdrip
