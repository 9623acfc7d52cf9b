// The program: system information first, then the one dialog until it closes.
#include "NVL_SystemInfo.h"
#include "fRipper.h"

#include <QApplication>

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    try {
        InitializeSystemInfo();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Ripper: %s\n", e.what());
        return 1;
    }
    int result = 0;
    {
        QApplication application(argc, argv);
        TRipForm RipForm;
        RipForm.show();
        result = application.exec();
    }
    FinalizeSystemInfo();
    return result;
}
