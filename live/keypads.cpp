#include "keypads.h"

#include "engine/match_events.h"
#include "engine/state.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/form5.h"
#include "ui/forms.h"

#include <QApplication>
#include <QEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <optional>

namespace brennix {

namespace {

class TKeypads final : public QObject, public TMatchObserver {
  public:
    TKeypads(const std::shared_ptr<TLiveBoardModule>& live, TForm1& window)
        : QObject(&window), live_(live), window_(window) {
        // Entries come on the server's thread and are taken on this one, in their order.
        live->SetKeypadHandler([self = QPointer<TKeypads>(this)](const TKeypadEntry& entry) {
            QMetaObject::invokeMethod(qApp, [self, entry] {
                if (self) self->Take(entry);
            });
        });
        AddMatchObserver(*this);
        qApp->installEventFilter(this);
        if (Form5)
            connect(Form5->ComboBox1, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
        Changed();
    }
    ~TKeypads() override { RemoveMatchObserver(*this); }

    // A visit of the keypad's is taken once the engine books it, before any dialog that follows.
    void VisitBooked(const TVisitEvent&) override {
        if (entering_) Answer(*std::exchange(entering_, std::nullopt), {});
    }

  protected:
    // A window shown or hidden may be a dialog that changes what the keypads offer.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) &&
            watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
            Changed();
        return false;
    }

  private:
    void Answer(const TKeypadEntry& entry, const QString& why) {
        if (const std::shared_ptr<TLiveBoardModule> live = live_.lock())
            live->AnswerKeypad(entry.Pad, entry.Id, why);
    }

    void Take(const TKeypadEntry& entry) {
        QWidget* dialog = QApplication::activeModalWidget();
        const bool starting = dialog && dialog == Form5;
        const bool ending = dialog && dialog == Form3;
        switch (entry.Kind) {
        case TKeypadEntry::TKind::Enter:
            if (dialog) return Answer(entry, QLatin1String(KeypadOperatorNeeded));
            if (!window_.Edit33->text().isEmpty())
                return Answer(entry, QLatin1String(KeypadOperatorTyping));
            return Enter(entry);
        case TKeypadEntry::TKind::Undo:
            if (dialog) return Answer(entry, QLatin1String(KeypadOperatorNeeded));
            window_.Button2Click();
            return Answer(entry, {});
        case TKeypadEntry::TKind::Begin:
            if (!starting || entry.Player > Form5->ComboBox1->count())
                return Answer(entry, QLatin1String(KeypadNotOffered));
            Form5->ComboBox1->setCurrentIndex(entry.Player - 1);
            Answer(entry, {});
            return Form5->Button1Click();
        case TKeypadEntry::TKind::Confirm:
            if (!ending) return Answer(entry, QLatin1String(KeypadNotOffered));
            Answer(entry, {});
            return Form3->Button1Click();
        }
    }

    // The total and darts as if typed, then Enter. An entry the engine does not book (more than
    // is left, or a save before a checkout that failed) leaves the fields as they were.
    void Enter(const TKeypadEntry& entry) {
        const QString darts = window_.Edit49->text();
        window_.Edit33->setText(QString::number(entry.Score));
        window_.Edit49->setText(QString::number(entry.Darts));
        entering_ = entry;
        window_.Edit33KeyDown(Qt::Key_Return);
        if (!entering_) return;
        entering_.reset();
        window_.Edit33->setText(QString());
        window_.Edit49->setText(darts);
        Answer(entry, QLatin1String(entry.Score > Players[ActivePlayer].Remaining
                                        ? KeypadAboveLeft
                                        : KeypadOperatorNeeded));
    }

    // What the keypads offer, told once it changed: play, the Start Leg dialog's choice, the
    // match result, or the operator.
    void Changed() {
        if (scheduled_) return;
        scheduled_ = true;
        QMetaObject::invokeMethod(this, [this] { Publish(); }, Qt::QueuedConnection);
    }

    void Publish() {
        scheduled_ = false;
        const QWidget* dialog = QApplication::activeModalWidget();
        QJsonObject mode{{QStringLiteral("mode"), QStringLiteral("play")}};
        if (dialog && dialog == Form5) {
            QJsonArray players;
            for (int i = 0; i < Form5->ComboBox1->count(); ++i)
                players.append(Form5->ComboBox1->itemText(i));
            mode = {{QStringLiteral("mode"), QStringLiteral("start")},
                    {QStringLiteral("players"), players},
                    {QStringLiteral("begins"), Form5->ComboBox1->currentIndex() + 1}};
        } else if (dialog && dialog == Form3) {
            QString winner = Form3->LabelWin->text();
            winner.remove(0, winner.indexOf(u':') + 1);
            mode = {{QStringLiteral("mode"), QStringLiteral("result")},
                    {QStringLiteral("winner"), winner.trimmed()}};
        } else if (dialog) {
            mode = {{QStringLiteral("mode"), QStringLiteral("operator")}};
        }
        const QByteArray json = QJsonDocument(mode).toJson(QJsonDocument::Compact);
        if (json == published_) return;
        published_ = json;
        if (const std::shared_ptr<TLiveBoardModule> live = live_.lock())
            live->PublishKeypadMode(json);
    }

    std::weak_ptr<TLiveBoardModule> live_;
    TForm1& window_;
    std::optional<TKeypadEntry> entering_; // the keypad's visit Enter is booking
    bool scheduled_ = false;
    QByteArray published_;
};

} // namespace

void ServeKeypads(const std::shared_ptr<TLiveBoardModule>& live, TForm1& window) {
    if (live) new TKeypads(live, window);
}

} // namespace brennix
