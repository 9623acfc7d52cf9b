// Where a rip goes: the output file's name in the slideshow folder, and the
// numbered name taken instead when the user keeps an existing file; and how a
// track reads in the track list. Plain functions, so a test needs neither a
// window nor a drive.
#pragma once

#include "CDRIP.h"

#include <cstdint>
#include <functional>
#include <string>

namespace ripper {

// Random names are drawn below this bound: 0 <= n < 99999999.
constexpr uint32_t kRandomNameBound = 99999999;
// Draws of a random name before we give up finding a free one.
constexpr int kRandomNameDraws = 1000;

// An integer n with 0 <= n < bound.
using TRandomDraw = std::function<uint32_t(uint32_t bound)>;

// Draws from a generator seeded from the clock when it is made.
TRandomDraw ClockSeededDraw();

// folder + "/" + trackName + ".mp3" or ".wav".
std::string OutputFileName(const std::string& folder, const std::string& trackName, bool mp3);

// The part after the last "/" or "\".
std::string FileNamePart(const std::string& path);

// folder + "/" + n + "_" + the file name part of `path`, n drawn again while
// `exists` says the name is taken. Throws rtl::Exception when kRandomNameDraws
// draws found no free name.
std::string RandomOutputName(const std::string& folder, const std::string& path, const TRandomDraw& draw,
                             const std::function<bool(const std::string&)>& exists);

// A track's line: name + " (" + Kind + ")" exactly as the start relies on,
// then, two blanks before each, an audio track's length "m:ss" (75 sectors a
// second, StartSector to EndSector) and what the disc names it
// (TitleAndPerformer).
std::string TrackListLine(const std::string& name, const TTrack& track, const std::string& albumPerformer);

// The notice for a data track: German only for the language "GERMAN".
std::string DataTrackNotice(const std::string& language);

// The question before an existing file is overwritten, German in every language.
extern const char* const kOverwriteQuestion;

// The error shown when Ripper.ini gives no slideshow folder.
std::string NoSlideshowFolderMessage(const std::string& language);

}  // namespace ripper
