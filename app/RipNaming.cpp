#include "RipNaming.h"

#include "PathNames.h"
#include "RipperRules.h"
#include "Rtl.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>

namespace ripper {

const char* const kOverwriteQuestion =
    "Audiodatei existiert bereits! Soll die bereits bestehende Audiodatei überschrieben werden?";

TRandomDraw ClockSeededDraw()
{
    const auto seed =
        static_cast<std::mt19937::result_type>(std::chrono::system_clock::now().time_since_epoch().count());
    auto generator = std::make_shared<std::mt19937>(seed);
    return [generator](uint32_t bound) {
        if (bound == 0)
            return uint32_t{0};
        return std::uniform_int_distribution<uint32_t>(0, bound - 1)(*generator);
    };
}

std::string OutputFileName(const std::string& folder, const std::string& trackName, bool mp3)
{
    return folder + "/" + trackName + (mp3 ? ".mp3" : ".wav");
}

std::string TrackListLine(const std::string& name, const TTrack& track, const std::string& albumPerformer)
{
    std::string line = name + " (" + track.Kind + ")";
    if (track.Kind == "Audio") {
        const int64_t seconds = std::max<int64_t>(0, int64_t{track.EndSector} - track.StartSector + 1) / 75;
        const std::string ss = std::to_string(seconds % 60);
        line += "  " + std::to_string(seconds / 60) + ":" + (ss.size() < 2 ? "0" : "") + ss;
    }
    const std::string named = TitleAndPerformer(track, albumPerformer);
    return named.empty() ? line : line + "  " + named;
}

std::string FileNamePart(const std::string& path) { return util::BaseName(path, "/\\"); }

std::string RandomOutputName(const std::string& folder, const std::string& path, const TRandomDraw& draw,
                             const std::function<bool(const std::string&)>& exists)
{
    const std::string name = FileNamePart(path);
    for (int i = 0; i < kRandomNameDraws; ++i) {
        const std::string candidate = folder + "/" + std::to_string(draw(kRandomNameBound)) + "_" + name;
        if (!exists(candidate))
            return candidate;
    }
    throw rtl::Exception("Kein freier Dateiname für " + name + " in " + folder + " gefunden");
}

std::string DataTrackNotice(const std::string& language)
{
    return IsGerman(language) ? "Dies ist kein Audiotrack! Bitte wählen Sie einen Audiotrack aus!"
                              : "This is no Audiotrack! Please select a Track!";
}

std::string NoSlideshowFolderMessage(const std::string& language)
{
    return IsGerman(language) ? "Es ist kein Diashow-Ordner eingestellt (DiashowDir in Ripper.ini)"
                              : "No slideshow folder is set (DiashowDir in Ripper.ini)";
}

}  // namespace ripper
