#include "messages.h"

#include "engine/errors.h"

#include <QMessageBox>

namespace brennix {

namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setObjectName("MessageBox");
    box.exec();
}

} // namespace

QString ToQt(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) {
    return text.toLatin1().toStdString();
}

void ShowMessageBox(QWidget* parent, TMessageKind kind, const std::string& text) {
    if (kind == TMessageKind::Warning)
        ShowBox(parent, QMessageBox::Warning, QStringLiteral("Warning"), ToQt(text));
    else
        ShowBox(parent, QMessageBox::Information, QStringLiteral("Information"), ToQt(text));
}

void ShowErrorBox(QWidget* parent, const std::string& message) {
    ShowBox(parent, QMessageBox::Critical, AppTitle, ToQt(ErrorBoxText(message)));
}

void RunHandler(QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowErrorBox(parent, error.what());
    }
}

} // namespace brennix
