// Loading a whole JPEG file into a picture, through libjpeg.
#pragma once

#include <QImage>

#include <string>

// Decodes the JPEG file at `path` into an RGB picture of its own size.
// A file that cannot be opened raises rtl::EFOpenError ("Datei %s kann nicht
// geöffnet werden"); a file that is not a JPEG, is damaged or ends early
// raises rtl::Exception "JPEG-Fehler in Datei %s: " followed by libjpeg's
// own description.
QImage LoadJpegFile(const std::string& path);
