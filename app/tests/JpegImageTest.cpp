#include "JpegImage.h"
#include "Rtl.h"
#include "TestProfile.h"
#include "WizardPicture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Near(QRgb c, int r, int g, int b)
{
    return std::abs(qRed(c) - r) <= 4 && std::abs(qGreen(c) - g) <= 4 && std::abs(qBlue(c) - b) <= 4;
}

TEST(LoadJpegFile, DecodesAPictureAtItsOwnSize)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/p.jpg";
    wizard::TRgbPicture picture(95, 510);
    picture.Fill(10, 120, 240);
    wizard::WriteJpegFile(path, picture);

    const QImage image = LoadJpegFile(path);
    ASSERT_EQ(image.size(), QSize(95, 510));
    EXPECT_TRUE(Near(image.pixel(0, 0), 10, 120, 240));
    EXPECT_TRUE(Near(image.pixel(94, 509), 10, 120, 240));
}

// How a broken picture file is made and what the error must say.
struct TBrokenCase {
    const char* Name;
    std::string (*Bytes)(const std::string& goodJpeg);
    const char* MessageStart;
};

void PrintTo(const TBrokenCase& c, std::ostream* os) { *os << c.Name; }

class BrokenJpegTest : public testing::TestWithParam<TBrokenCase> {};

TEST_P(BrokenJpegTest, RaisesAClearErrorNamingTheFile)
{
    QTemporaryDir dir;
    const std::string good = dir.path().toStdString() + "/good.jpg";
    wizard::WriteJpegFile(good, wizard::DrawWizardPicture(wizard::TVariant::German));
    const std::string path = dir.path().toStdString() + "/wizard.jpg";
    WriteFile(path, GetParam().Bytes(ReadBytes(good)));

    try {
        LoadJpegFile(path);
        FAIL() << "no error";
    } catch (const rtl::Exception& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind(GetParam().MessageStart + path, 0), 0u) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenJpegTest,
    testing::Values(
        TBrokenCase{"Empty", [](const std::string&) { return std::string(); }, "JPEG-Fehler in Datei "},
        TBrokenCase{"Text", [](const std::string&) { return std::string("[GERMAN]\r\n20000=x\r\n"); },
                    "JPEG-Fehler in Datei "},
        TBrokenCase{"Truncated", [](const std::string& jpeg) { return jpeg.substr(0, jpeg.size() / 2); },
                    "JPEG-Fehler in Datei "},
        TBrokenCase{"HeaderOnly", [](const std::string& jpeg) { return jpeg.substr(0, 200); },
                    "JPEG-Fehler in Datei "}),
    [](const testing::TestParamInfo<TBrokenCase>& param) { return std::string(param.param.Name); });

TEST(LoadJpegFile, MissingFileCannotBeOpened)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/recom_GR/wizard.jpg";
    try {
        LoadJpegFile(path);
        FAIL() << "no error";
    } catch (const rtl::EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + path + " kann nicht geöffnet werden");
    }
}

TEST(WizardPicture, BothVariantsHaveTheDialogSizeAndDifferOnlyInTheFootBand)
{
    const wizard::TRgbPicture german = wizard::DrawWizardPicture(wizard::TVariant::German);
    const wizard::TRgbPicture english = wizard::DrawWizardPicture(wizard::TVariant::English);
    ASSERT_EQ(german.Width, 95);
    ASSERT_EQ(german.Height, 510);
    ASSERT_EQ(german.Pixels.size(), 95u * 510u * 3u);
    const std::size_t footStart = 460u * 95u * 3u;
    EXPECT_TRUE(std::equal(german.Pixels.begin(), german.Pixels.begin() + footStart, english.Pixels.begin()));
    EXPECT_NE(german.Pixels, english.Pixels);
}

}  // namespace
