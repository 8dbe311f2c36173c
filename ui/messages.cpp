#include "messages.h"

#include "engine/errors.h"

#include <QFile>
#include <QMessageBox>
#include <QStringDecoder>

namespace brennix {

namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setObjectName("MessageBox");
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

QString ToQt(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) {
    return text.toLatin1().toStdString();
}

QString PathToQt(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

std::string PathFromQt(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString MessageToQt(const std::string& text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(QByteArrayView(text.data(), qsizetype(text.size())));
    return utf8.hasError() ? ToQt(text) : decoded;
}

void ShowMessageBox(QWidget* parent, TMessageKind kind, const std::string& text) {
    if (kind == TMessageKind::Warning)
        ShowBox(parent, QMessageBox::Warning, QStringLiteral("Warning"), MessageToQt(text));
    else
        ShowBox(parent, QMessageBox::Information, QStringLiteral("Information"), MessageToQt(text));
}

void ShowErrorBox(QWidget* parent, const std::string& message) {
    ShowBox(parent, QMessageBox::Critical, AppTitle, MessageToQt(ErrorBoxText(message)));
}

void RunHandler(QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowErrorBox(parent, error.what());
    }
}

} // namespace brennix
