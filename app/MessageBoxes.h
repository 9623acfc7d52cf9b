// Every message box the dialog shows goes through TMessageBoxes, so a test
// can answer the boxes instead of a user. The titles and buttons are the
// standard German ones whatever the dialog's language.
#pragma once

#include <QString>

#include <exception>
#include <string>

class QWidget;

class TMessageBoxes {
public:
    virtual ~TMessageBoxes() = default;

    // The standard error box: title "Ripper", error icon, button "OK".
    // `text` is shown as given (see ErrorBoxText).
    virtual void ShowError(QWidget* parent, const QString& text);
    // Title "Informationen", information icon, button "OK".
    virtual void Information(QWidget* parent, const QString& text);
    // Title "Bestätigung", question icon, buttons "&Ja" (the default) and
    // "&Nein". True only when "&Ja" was chosen; "&Nein", Escape and the
    // box's close button all give false.
    virtual bool Confirm(QWidget* parent, const QString& text);
};

// The boxes the program shows when nobody put others in their place.
TMessageBoxes& StandardMessageBoxes();

// Closes every open message box as its close button would (the question
// answered "&Nein"), so that nothing keeps a session's end waiting.
void CloseMessageBoxes();

// The text of the standard error box for an error message: the message with
// a full stop appended when its last character sorts after ".". The
// comparison is on the last byte of the UTF-8 text: every non-ASCII
// character ends in a byte above ".", so "ß" or "ä" get a full stop just as
// letters and digits do, while "!", ")", "," or "." itself do not. An empty
// message stays empty.
QString ErrorBoxText(const std::string& message);

// The message of the exception being handled (call inside a catch block);
// an exception we do not know says so in German, as the class library does.
std::string CurrentExceptionMessage();
