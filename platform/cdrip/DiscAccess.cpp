#include "DiscAccess.h"

#include "CdioLog.h"

#include <cdio/device.h>

#include <algorithm>

#include <cerrno>
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

namespace {

// The disc's state as far as the tray tells it.
int32_t DiscStatusOf(TrayState tray, const std::string& device)
{
    switch (tray) {
    case TrayState::DiscOk: return CDRIP_DISC_READY;
    case TrayState::NoDisc: return CDRIP_DISC_NONE;
    case TrayState::TrayOpen: return CDRIP_DISC_TRAY_OPEN;
    case TrayState::NotReady: return CDRIP_DISC_NOT_READY;
    case TrayState::CannotOpen:
        if (::access(device.c_str(), R_OK) != 0 && (errno == EACCES || errno == EPERM))
            return CDRIP_DISC_NO_PERMISSION;
        return CDRIP_DISC_UNKNOWN;
    default: return CDRIP_DISC_UNKNOWN;
    }
}

// INQUIRY's fixed-width fields come blank-padded.
std::string Trimmed(const char* field)
{
    std::string text(field);
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

CdioPtr OpenDisc(const cddrives::Drive& drive, int32_t* status)
{
    int32_t known = CDRIP_DISC_UNKNOWN;
    InstallLogHandler();
    CdioPtr cdio;
    if (drive.isImage) {
        const std::string path = cddrives::ResolveTray(drive.path);
        known = path.empty() ? CDRIP_DISC_NONE : CDRIP_DISC_READY;
        if (!path.empty())
            cdio.reset(cdio_open(path.c_str(), DRIVER_UNKNOWN));
    } else {
        known = drive.problem.empty() ? DiscStatusOf(ProbeTray(drive.path), drive.path)
                                      : CDRIP_DISC_NO_PERMISSION;
        if (known == CDRIP_DISC_READY || known == CDRIP_DISC_UNKNOWN)
            cdio.reset(cdio_open(drive.path.c_str(), DRIVER_DEVICE));
    }
    if (status != nullptr)
        *status = known;
    return cdio;
}

DiscLook LookAtDisc(const cddrives::Drive& drive, const DiscLook* known)
{
    DiscLook look;
    const int attempts = drive.isImage ? 1 : 2;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        CdioPtr cdio = OpenDisc(drive, &look.status);
        DiscToc toc;
        if (cdio && ReadDiscToc(cdio.get(), toc)) {
            const bool sameDisc = known != nullptr && known->toc && SameToc(*known->toc, toc);
            look.status = CDRIP_DISC_READY;
            look.text = sameDisc ? known->text : ReadDiscTexts(cdio.get());
            look.toc = std::move(toc);
            return look;
        }
        if (look.status != CDRIP_DISC_READY && look.status != CDRIP_DISC_UNKNOWN)
            return look;
    }
    if (look.status == CDRIP_DISC_READY)
        look.status = CDRIP_DISC_UNREADABLE;
    return look;
}

std::string Identify(const std::string& device)
{
    InstallLogHandler();
    CdioPtr cdio(cdio_open(device.c_str(), DRIVER_DEVICE));
    cdio_hwinfo_t info{};
    if (!cdio || !cdio_get_hwinfo(cdio.get(), &info))
        return {};
    std::string text;
    for (const char* field : {info.psz_vendor, info.psz_model, info.psz_revision}) {
        const std::string part = Trimmed(field);
        if (!part.empty())
            text += (text.empty() ? "" : " ") + part;
    }
    return text;
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
    toc.heldEnd = leadOut;
    toc.leadOut = std::max<int32_t>(leadOut, toc.tracks.back().start);

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
