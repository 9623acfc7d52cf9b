#include "MessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

struct TFullStopCase {
    const char* Name;
    const char* Message;
    const char* Shown;
};

void PrintTo(const TFullStopCase& c, std::ostream* os) { *os << '"' << c.Message << '"'; }

class ErrorBoxTextTest : public testing::TestWithParam<TFullStopCase> {};

TEST_P(ErrorBoxTextTest, AppendsAFullStopAfterCharactersSortingAfterIt)
{
    EXPECT_EQ(ErrorBoxText(GetParam().Message).toStdString(), GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ErrorBoxTextTest,
    testing::Values(TFullStopCase{"LetterGetsAStop", "Read error", "Read error."},
                    TFullStopCase{"FileMessageGetsAStop", "Datei /x kann nicht geöffnet werden",
                                  "Datei /x kann nicht geöffnet werden."},
                    TFullStopCase{"FullStopKept", "Schon da.", "Schon da."},
                    TFullStopCase{"ClosingParenthesis", "Listenindex überschreitet das Maximum (0)",
                                  "Listenindex überschreitet das Maximum (0)"},
                    TFullStopCase{"ExclamationMark", "Achtung!", "Achtung!"},
                    TFullStopCase{"Comma", "a,", "a,"}, TFullStopCase{"Hyphen", "a-", "a-"},
                    TFullStopCase{"SlashGetsAStop", "a/", "a/."},
                    TFullStopCase{"DigitGetsAStop", "Fehler 14", "Fehler 14."},
                    TFullStopCase{"QuestionMarkGetsAStop", "Wirklich?", "Wirklich?."},
                    TFullStopCase{"NonAsciiGetsAStop", "Maß", "Maß."}, TFullStopCase{"Empty", "", ""}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(CurrentExceptionMessage, GivesTheMessageOrSaysTheExceptionIsUnknown)
{
    try {
        throw std::runtime_error("Write error");
    } catch (...) {
        EXPECT_EQ(CurrentExceptionMessage(), "Write error");
    }
    try {
        throw 42;
    } catch (...) {
        EXPECT_EQ(CurrentExceptionMessage(), "Unbekannte Ausnahme");
    }
}

// Answers the next modal box: checks what it shows, then lets `answer` close it.
struct TSeenBox {
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QStringList Buttons;
    QString DefaultButton;
};

void AnswerNextBox(TSeenBox* seen, std::function<void(QMessageBox*)> answer)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, seen, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        poll->deleteLater();
        seen->Title = box->windowTitle();
        seen->Text = box->text();
        seen->Icon = box->icon();
        for (QAbstractButton* b : box->buttons())
            seen->Buttons << b->text();
        if (box->defaultButton())
            seen->DefaultButton = box->defaultButton()->text();
        answer(box);
    });
    poll->start(10);
}

QAbstractButton* ButtonNamed(QMessageBox* box, const char* text)
{
    for (QAbstractButton* b : box->buttons())
        if (b->text() == QString::fromUtf8(text))
            return b;
    return nullptr;
}

TEST(StandardMessageBoxes, ErrorBoxHasProgramTitleErrorIconAndOk)
{
    TSeenBox seen;
    AnswerNextBox(&seen, [](QMessageBox* box) { ButtonNamed(box, "OK")->click(); });
    StandardMessageBoxes().ShowError(nullptr, QStringLiteral("Read error."));
    EXPECT_EQ(seen.Title, "Ripper");
    EXPECT_EQ(seen.Text, "Read error.");
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    EXPECT_EQ(seen.Buttons, QStringList{"OK"});
}

TEST(StandardMessageBoxes, InformationBoxHasGermanTitleAndOk)
{
    TSeenBox seen;
    AnswerNextBox(&seen, [](QMessageBox* box) { ButtonNamed(box, "OK")->click(); });
    StandardMessageBoxes().Information(nullptr,
                                       QStringLiteral("This is no Audiotrack! Please select a Track!"));
    EXPECT_EQ(seen.Title, "Informationen");
    EXPECT_EQ(seen.Icon, QMessageBox::Information);
    EXPECT_EQ(seen.Buttons, QStringList{"OK"});
}

struct TConfirmCase {
    const char* Name;
    std::function<void(QMessageBox*)> Answer;
    bool Expected;
};

void PrintTo(const TConfirmCase& c, std::ostream* os) { *os << c.Name; }

class ConfirmTest : public testing::TestWithParam<TConfirmCase> {};

TEST_P(ConfirmTest, IsTrueOnlyForJa)
{
    TSeenBox seen;
    AnswerNextBox(&seen, GetParam().Answer);
    EXPECT_EQ(StandardMessageBoxes().Confirm(nullptr, QStringLiteral("Überschreiben?")), GetParam().Expected);
    EXPECT_EQ(seen.Title, QStringLiteral("Bestätigung"));
    EXPECT_EQ(seen.Icon, QMessageBox::Question);
    EXPECT_EQ(seen.Buttons, (QStringList{"&Ja", "&Nein"}));
    EXPECT_EQ(seen.DefaultButton, "&Ja");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ConfirmTest,
    testing::Values(
        TConfirmCase{"Ja", [](QMessageBox* box) { ButtonNamed(box, "&Ja")->click(); }, true},
        TConfirmCase{"Nein", [](QMessageBox* box) { ButtonNamed(box, "&Nein")->click(); }, false},
        TConfirmCase{"Escape", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }, false},
        TConfirmCase{"Enter", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }, true},
        TConfirmCase{"Closed", [](QMessageBox* box) { box->close(); }, false},
        TConfirmCase{"SessionEnds", [](QMessageBox*) { CloseMessageBoxes(); }, false}),
    [](const testing::TestParamInfo<TConfirmCase>& param) { return std::string(param.param.Name); });

}  // namespace
