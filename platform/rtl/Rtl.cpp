#include "Rtl.h"

namespace rtl {

std::string FormatMessage(const std::string& templ, std::initializer_list<std::string> args)
{
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < templ.size(); ++i) {
        if (templ[i] == '%' && i + 1 < templ.size() && templ[i + 1] == 's' && next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out += templ[i];
        }
    }
    return out;
}

std::string AssignErrorMessage(const std::string& sourceClass, const std::string& destClass)
{
    return FormatMessage("%s kann nicht zu %s zugewiesen werden", {sourceClass, destClass});
}

std::string FileOpenErrorMessage(const std::string& fileName)
{
    return FormatMessage("Datei %s kann nicht geöffnet werden", {fileName});
}

std::string FileCreateErrorMessage(const std::string& fileName)
{
    return FormatMessage("Datei %s kann nicht erstellt werden", {fileName});
}

std::string ListIndexErrorMessage(long index)
{
    return "Listenindex überschreitet das Maximum (" + std::to_string(index) + ")";
}

void TPersistent::CopyFrom(const TPersistent* source)
{
    throw EConvertError(AssignErrorMessage(source ? source->ClassName() : "nil", ClassName()));
}

}  // namespace rtl
