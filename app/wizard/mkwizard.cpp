// Writes the two wizard pictures below a program folder:
//   mkwizard FOLDER   ->  FOLDER/recom_GR/wizard.jpg, FOLDER/recom_EN/wizard.jpg
#include "WizardPicture.h"

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    try {
        const std::filesystem::path folder = argv[1];
        const struct {
            const char* Sub;
            wizard::TVariant Variant;
        } pictures[] = {{"recom_GR", wizard::TVariant::German}, {"recom_EN", wizard::TVariant::English}};
        for (const auto& p : pictures) {
            std::filesystem::create_directories(folder / p.Sub);
            wizard::WriteJpegFile((folder / p.Sub / "wizard.jpg").string(),
                                  wizard::DrawWizardPicture(p.Variant));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkwizard: %s\n", e.what());
        return 1;
    }
    return 0;
}
