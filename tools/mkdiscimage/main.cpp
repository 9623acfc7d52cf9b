// mkdiscimage OUT.cue DESCRIPTION...   |   mkdiscimage OUT.cue -f FILE
// Writes OUT.cue and OUT.bin; silent on success.
#include "DiscImage.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace {

const char kUsage[] =
    "usage: mkdiscimage OUT.cue DESCRIPTION...\n"
    "       mkdiscimage OUT.cue -f FILE      (FILE '-' reads standard input)\n"
    "Writes OUT.cue and OUT.bin. Description items:\n"
    "  first=N                            number of the first track (default 1)\n"
    "  album=\"TEXT\"  performer=\"TEXT\"    the album's title and performer (CD-Text)\n"
    "  audio:LEN[:CONTENT][:pregap=LEN][:title=\"TEXT\"][:performer=\"TEXT\"]\n"
    "                                     CONTENT: sine[=HZ] (default 440) | noise[=SEED] |\n"
    "                                     counter | silence | melody[=SEED]\n"
    "  data:LEN[:pregap=LEN][:title=\"TEXT\"][:performer=\"TEXT\"]\n"
    "                                     a MODE1/2352 data track\n"
    "LEN: sectors (75 a second) or a time: 20s, 2.5s, 1m30s. '#' starts a comment.\n"
    "TEXT: UTF-8, up to 80 characters, no double quote; inside the quotes blanks,\n"
    "colons and '#' are text. The cue carries it as TITLE and PERFORMER lines.\n"
    "A disc holds at most 449850 sectors (99:59:74 less the 2-second lead-in).\n"
    "Example: mkdiscimage disc.cue 'album=\"Lieder: Sommer\"' \\\n"
    "           'audio:30s:melody=2:title=\"Über den Wolken\"' audio:1500:counter data:600:pregap=150\n";

std::string ReadAll(std::istream& in)
{
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ReadDescriptionFile(const std::string& path)
{
    if (path == "-")
        return ReadAll(std::cin);
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return ReadAll(in);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help")) {
        std::cout << kUsage;
        return 0;
    }
    if (argc < 3) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        std::string description;
        if (std::string(argv[2]) == "-f") {
            if (argc != 4) {
                std::cerr << kUsage;
                return 2;
            }
            description = ReadDescriptionFile(argv[3]);
        } else {
            for (int i = 2; i < argc; ++i)
                description += std::string(argv[i]) + "\n";
        }
        discimage::WriteImage(discimage::ParseDescription(description), argv[1]);
    } catch (const std::invalid_argument& e) {
        std::cerr << "mkdiscimage: bad description: " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "mkdiscimage: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
