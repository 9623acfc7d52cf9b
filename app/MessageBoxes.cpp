#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

constexpr char kProgramTitle[] = "Ripper";

void ShowOkBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

}  // namespace

void TMessageBoxes::ShowError(QWidget* parent, const QString& text)
{
    ShowOkBox(parent, QMessageBox::Critical, QString::fromLatin1(kProgramTitle), text);
}

void TMessageBoxes::Information(QWidget* parent, const QString& text)
{
    ShowOkBox(parent, QMessageBox::Information, QStringLiteral("Informationen"), text);
}

bool TMessageBoxes::Confirm(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigung"), text, QMessageBox::NoButton,
                    parent);
    QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

TMessageBoxes& StandardMessageBoxes()
{
    static TMessageBoxes boxes;
    return boxes;
}

void CloseMessageBoxes()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible())
            box->close();
}

QString ErrorBoxText(const std::string& message)
{
    std::string text = message;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return QString::fromStdString(text);
}

std::string CurrentExceptionMessage()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unbekannte Ausnahme";
    }
}
