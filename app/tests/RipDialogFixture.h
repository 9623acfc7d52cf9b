// What the dialog's end-to-end tests share: a German profile whose slideshow
// folder lies in a temporary folder, the dialog's widgets found by name, and
// the clicks a user makes.  The fixtures above it choose the drives.
#pragma once

#include "TestProfile.h"
#include "fRipper.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace riptest {

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RipDialogFixture : public testing::Test {
protected:
    // The profile's texts and its slideshow folder.
    void WriteProfile()
    {
        Profile.WriteComplete("GERMAN");
        Profile.WriteUserFile("Language.ini", "[german]\r\n20015=Einlesen:\r\n20016=Fertig!\r\n"
                                              "[ENGLISH]\r\n20015=Reading:\r\n20016=Done!\r\n");
        std::filesystem::create_directories(Slideshow);
        SetSlideshowFolder(Slideshow);
    }

    void SetSlideshowFolder(const std::string& folder)
    {
        Profile.WriteUserFile("Ripper.ini", "[Settings]\r\nDiashowDir=" + folder + "\r\n");
    }

    // The dialog, shown, with the recorder answering its boxes.
    void Show(TRipFormSeams seams = {})
    {
        seams.MessageBoxes = &Boxes;
        seams.ProgramFile = Profile.ProgramFile();
        Form = std::make_unique<TRipForm>(seams);
        Form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    }

    template <typename T>
    T* Find(const char* name) const
    {
        auto* w = Form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(w) << name;
        return w;
    }
    QComboBox* Drives() const { return Find<QComboBox>("DriveComboBox"); }
    QListWidget* List() const { return Find<QListWidget>("TrackListBox"); }
    QPushButton* Start() const { return Find<QPushButton>("StartBitBtn"); }
    QPushButton* Abort() const { return Find<QPushButton>("AbortBitBtn"); }
    QPushButton* Close() const { return Find<QPushButton>("CloseBitBtn"); }
    QCheckBox* Mp3() const { return Find<QCheckBox>("MP3CheckBox"); }
    QCheckBox* Wav() const { return Find<QCheckBox>("WavCheckBox"); }
    QProgressBar* Bar() const { return Find<QProgressBar>("ProgressBar1"); }
    QTimer* Timer() const { return Find<QTimer>("Timer1"); }
    QString Status() const { return Find<QLabel>("StatusLabel")->text(); }

    // One refresh, as Timer1 gives it.
    void Tick() const { QMetaObject::invokeMethod(Timer(), "timeout"); }

    // Refreshes until `done` holds, 10 s at most: the library reads the
    // drives on threads of its own, and a refresh shows what they have read
    // by then (a disc image within the same refresh, unless the machine is
    // very busy).
    bool TickUntil(const std::function<bool()>& done) const
    {
        const QDeadlineTimer deadline(10000);
        for (Tick(); !done() && !deadline.hasExpired(); Tick())
            QTest::qWait(50);
        return done();
    }

    QStringList Lines() const
    {
        QStringList lines;
        for (int i = 0; i < List()->count(); ++i)
            lines << List()->item(i)->text();
        return lines;
    }

    // A check box takes clicks on its box and caption, at its left end.
    static void ClickBox(QCheckBox* box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }

    void ClickLine(int row) const
    {
        QListWidget* list = List();
        list->scrollToItem(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }

    // Clicks the line and the start button; returns when the rip is over.
    void Rip(int row) const
    {
        ASSERT_TRUE(List()->count() > row || TickUntil([&] { return List()->count() > row; }))
            << List()->count() << " lines";
        ClickLine(row);
        ASSERT_TRUE(Start()->isEnabled());
        QTest::mouseClick(Start(), Qt::LeftButton);
    }

    // The dialog at rest: nothing disabled that a user needs, no hourglass,
    // no abort, the bar back at 0, the refresh running.
    void ExpectIdle() const
    {
        for (QWidget* w : std::initializer_list<QWidget*>{Drives(), List(), Close(), Mp3(), Wav()})
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_FALSE(Abort()->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(Bar()->value(), 0);
        EXPECT_TRUE(Timer()->isActive());
    }

    std::vector<std::string> SlideshowFiles() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Slideshow))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string AudioIni() const { return ReadAll(Slideshow + "/Audio.ini"); }

    TTestProfile Profile;
    TBoxRecorder Boxes;
    QTemporaryDir Temp;
    std::string Slideshow = Temp.path().toStdString() + "/Diashow";
    std::unique_ptr<TRipForm> Form;
};

}  // namespace riptest
