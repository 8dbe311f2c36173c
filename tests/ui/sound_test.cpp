// The score sounds: which file a visit looks for, silence when there is none, the errors of a
// sound that cannot be played, the one-device rule, real playback on a private PulseAudio server
// (or the machine's own), a missing audio device, sound coming back after the server went away, a
// server that never answers, and the script that speaks the caller voice. The decoding of the
// files is wave_file_test's.
#include "engine/errors.h"
#include "storage/paths.h"
#include "ui/pulse_output.h"
#include "ui/sound.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <exception>
#include <memory>
#include <new>
#include <numbers>
#include <sndfile.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace brennix;

namespace {

// Stands in for the audio device and writes down what the player asks of it.
class TFakeOutput : public TSoundOutput {
  public:
    QStringList Events; // "open <file>", "play", "close" (only of an open sound)
    TPcmSound Sound;    // the sound opened last
    bool Opened = false;
    bool Playing = false;
    std::exception_ptr OpenRaises; // Open fails with this

    void Open(const TPcmSound& sound) override {
        if (OpenRaises) std::rethrow_exception(OpenRaises);
        if (Opened) Events.append("second sound opened on the one device");
        Events.append("open " + QString::fromStdString(sound.FileName));
        Sound = sound;
        Opened = true;
    }
    void Play() override {
        Events.append("play");
        Playing = Opened;
    }
    void Close() override {
        if (Opened) Events.append("close");
        Opened = false;
        Playing = false;
    }
};

// Writes a 16-bit wave file with libsndfile.
bool WriteSound(const QString& path, int sampleRate, int channels,
                const std::vector<int16_t>& samples) {
    SF_INFO info{0, sampleRate, channels, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool written = sf_writef_short(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

// A quiet sine tone, mono.
std::vector<int16_t> Tone(int sampleRate, double seconds, double frequency) {
    std::vector<int16_t> samples(static_cast<size_t>(sampleRate * seconds));
    for (size_t i = 0; i < samples.size(); ++i) {
        const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(i) / sampleRate;
        samples[i] = static_cast<int16_t>(std::lround(4000 * std::sin(phase)));
    }
    return samples;
}

bool WriteText(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The text of the EMediaError a visit raises; "(no error)" when it raises none.
QString MediaErrorOf(int32_t score) {
    try {
        PlayScoreSound(score);
    } catch (const EMediaError& error) {
        return QString::fromStdString(error.what());
    }
    return QStringLiteral("(no error)");
}

QString CallerVoiceScript() {
    return QDir(QStringLiteral(BRENNIX_SOURCE_DIR))
        .filePath(QStringLiteral("tools/make-caller-voice"));
}

struct TRunResult {
    int ExitCode = -1; // -1 when the script did not end by itself within a minute
    QString Output;
};

TRunResult RunCallerVoice(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(CallerVoiceScript(), arguments);
    const bool ended =
        process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    if (!ended) process.kill();
    process.waitForFinished(5000);
    return {ended ? process.exitCode() : -1, QString::fromLocal8Bit(process.readAll())};
}

// A private PulseAudio server: home, runtime and configuration folders of its own in a temporary
// folder, no start-up script of the machine (-n), one null sink as its only output device, and
// its socket in the temporary folder. It can be killed, as a crashing server would end, and
// started again, with another device.
class TPrivateSoundServer {
  public:
    static bool Installed() { return !QStandardPaths::findExecutable("pulseaudio").isEmpty(); }

    ~TPrivateSoundServer() { Kill(); }

    QString Address() const { return "unix:" + Socket(); }
    QString Log() const { return log_; }

    // Starts the server with a null sink of the given name; true once it listens, within 10 s.
    bool Start(const QString& sinkName) {
        Kill();
        QFile::remove(Socket()); // a killed server leaves its socket behind
        QProcessEnvironment environment;
        environment.insert("PATH", "/usr/bin:/bin");
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) {
            const QString path = folder_.filePath(QString::fromLatin1(name).toLower());
            if (!QDir().mkpath(path) ||
                !QFile::setPermissions(path,
                                       QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
                return false;
            environment.insert(name, path);
        }
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start("pulseaudio",
                       {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                        "--disable-shm=yes", "--log-target=stderr", "--log-level=error", "-L",
                        "module-null-sink sink_name=" + sinkName, "-L",
                        "module-native-protocol-unix auth-anonymous=1 socket=" + Socket()});
        if (!process_.waitForStarted(10000)) return false;
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
            if (QFileInfo::exists(Socket())) return true;
            QTest::qWait(20);
        }
        log_ += QString::fromLocal8Bit(process_.readAll());
        return false;
    }

    // Ends the server at once, with no chance to say goodbye to its clients.
    void Kill() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished(5000);
        log_ += QString::fromLocal8Bit(process_.readAll());
    }

  private:
    QString Socket() const { return folder_.filePath("native"); }

    QTemporaryDir folder_;
    QProcess process_;
    QString log_;
};

} // namespace

class SoundTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> base_;
    TFakeOutput fake_;
    std::unique_ptr<TPrivateSoundServer> server_; // when pulseaudio is installed
    bool serverStarted_ = false;

    QString SoundFolder() const { return base_->filePath(QStringLiteral("sound")); }
    QString SoundFile(int score) const {
        return SoundFolder() + QStringLiteral("/Score%1.wav").arg(score);
    }
    bool MakeSoundFolder() const { return QDir().mkpath(SoundFolder()); }

  private slots:
    // With pulseaudio installed, every real output of this test plays on a private server.
    void initTestCase() {
        if (!TPrivateSoundServer::Installed()) return;
        server_ = std::make_unique<TPrivateSoundServer>();
        serverStarted_ = server_->Start("brennix_speakers");
        qputenv("PULSE_SERVER", server_->Address().toLocal8Bit());
    }

    void cleanupTestCase() { server_.reset(); }

    void init() {
        base_ = std::make_unique<QTemporaryDir>();
        QVERIFY(base_->isValid());
        SetBaseDir(base_->path().toStdString());
        fake_ = TFakeOutput{};
        SetSoundOutput(&fake_);
    }

    void cleanup() {
        SetSoundOutput(nullptr);
        base_.reset();
    }

    // Score 0 and the maximum 180 play exactly their own files, the decoded sound handed over.
    void playsTheFileNamedAfterTheScore() {
        QVERIFY(MakeSoundFolder());
        const std::vector<int16_t> zero = {0, 100, -100, 32767, -32768};
        const std::vector<int16_t> maximum = {1, 2, 3, 4, 5, 6, 7, 8}; // 4 stereo frames
        QVERIFY(WriteSound(SoundFile(0), 8000, 1, zero));
        QVERIFY(WriteSound(SoundFile(180), 22050, 2, maximum));
        const QString base = base_->path() + "/";
        QCOMPARE(QString::fromStdString(ScoreSoundPath(180)), base + "sound/Score180.wav");
        PlayScoreSound(0);
        QCOMPARE(fake_.Sound.Samples, zero);
        PlayScoreSound(180);
        QCOMPARE(fake_.Sound.Samples, maximum);
        QCOMPARE(fake_.Events, (QStringList{"open " + base + "sound/Score0.wav", "play", "close",
                                            "open " + base + "sound/Score180.wav", "play"}));
        QVERIFY(fake_.Playing);
    }

    // No file, no sound, no message: a missing folder "sound", a missing file in it, and scores
    // no visit can have (their files are never looked for, even when present). Such a visit
    // leaves a sound that is still playing alone.
    void missingFilesAreSilent() {
        QVERIFY(!QFileInfo::exists(SoundFolder()));
        PlayScoreSound(60);
        PlayScoreSound(0);
        PlayScoreSound(180);
        QVERIFY(fake_.Events.isEmpty());

        QVERIFY(MakeSoundFolder());
        for (const QString name : {"Score180.wav", "Score181.wav", "Score-1.wav", "Score060.wav"})
            QVERIFY(WriteSound(SoundFolder() + "/" + name, 8000, 1, Tone(8000, 0.01, 440)));
        PlayScoreSound(180);
        PlayScoreSound(60);
        PlayScoreSound(181);
        PlayScoreSound(-1);
        QCOMPARE(fake_.Events, (QStringList{"open " + SoundFile(180), "play"}));
        QVERIFY(fake_.Playing);
    }

    // One device: the sound of the previous visit is stopped and closed before the next opens;
    // closing the player, or giving it another output, closes the sound.
    void aNewVisitStopsThePreviousSound() {
        QVERIFY(MakeSoundFolder());
        QVERIFY(WriteSound(SoundFile(180), 8000, 1, Tone(8000, 0.5, 440)));
        QVERIFY(WriteSound(SoundFile(26), 8000, 1, Tone(8000, 0.5, 660)));
        PlayScoreSound(180);
        PlayScoreSound(26);
        PlayScoreSound(26);
        QCOMPARE(fake_.Events,
                 (QStringList{"open " + SoundFile(180), "play", "close", "open " + SoundFile(26),
                              "play", "close", "open " + SoundFile(26), "play"}));

        CloseScoreSound();
        QVERIFY(!fake_.Opened);
        PlayScoreSound(26);
        SetSoundOutput(nullptr);
        QVERIFY(!fake_.Opened);
    }

    // A sound that cannot be played raises EMediaError: the decoder's or the device's own text,
    // or, for any other failure, one naming the file. The previous visit's sound has been stopped
    // by then, nothing is left open, and the next playable sound plays.
    void failuresEndAsTheSoundsError() {
        QVERIFY(MakeSoundFolder());
        const QString path = SoundFile(180);
        QVERIFY(WriteSound(path, 8000, 1, Tone(8000, 0.05, 440)));
        QVERIFY(WriteText(SoundFile(60), "this is not a wave file at all, just text\n"));
        PlayScoreSound(180);
        QCOMPARE(MediaErrorOf(60), QStringLiteral("Format not recognised."));
        QCOMPARE(fake_.Events, (QStringList{"open " + path, "play", "close"}));

        fake_.OpenRaises = std::make_exception_ptr(EMediaError("device refused"));
        QCOMPARE(MediaErrorOf(180), QStringLiteral("device refused"));
        fake_.OpenRaises = std::make_exception_ptr(std::bad_alloc());
        QCOMPARE(MediaErrorOf(180), "Not enough memory to play " + path);
        fake_.OpenRaises = std::make_exception_ptr(std::runtime_error("stream refused"));
        QCOMPARE(MediaErrorOf(180), "Cannot play " + path + ": stream refused");
        fake_.OpenRaises = nullptr;
        PlayScoreSound(180);
        QCOMPARE(fake_.Events,
                 (QStringList{"open " + path, "play", "close", "open " + path, "play"}));
    }

    // The real output, with no device to play on, refuses with a clear text and keeps nothing.
    void noAudioDeviceRaisesAClearError() {
        QVERIFY(MakeSoundFolder());
        QVERIFY(WriteSound(SoundFile(60), 8000, 1, Tone(8000, 0.05, 440)));
        TPulseSoundOutput noDevice("unix:" + base_->filePath("no-server").toStdString());
        SetSoundOutput(&noDevice);

        QCOMPARE(MediaErrorOf(60), QString::fromStdString(NoAudioDeviceText));
        QVERIFY(!noDevice.IsOpen());
        QCOMPARE(MediaErrorOf(60), QString::fromStdString(NoAudioDeviceText));
        SetSoundOutput(nullptr);
    }

    // A server that takes the connection but never answers costs one short wait: the sound raises
    // the clear error after about half a second, and the visits right after it raise it at once.
    void aServerThatNeverAnswersIsWaitedForOnce() {
        QVERIFY(MakeSoundFolder());
        QVERIFY(WriteSound(SoundFile(60), 8000, 1, Tone(8000, 0.05, 440)));
        const QByteArray path = QFile::encodeName(base_->filePath("silent"));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(path.size()) < sizeof(address.sun_path));
        std::copy(path.begin(), path.end(), address.sun_path);
        const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(listener >= 0);
        const auto closeListener = qScopeGuard([&] { close(listener); });
        QVERIFY(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0);
        QVERIFY(listen(listener, 8) == 0); // connections wait in the queue, unanswered
        TPulseSoundOutput silent("unix:" + path.toStdString());
        SetSoundOutput(&silent);

        const QString noDevice = QString::fromStdString(NoAudioDeviceText);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(MediaErrorOf(60), noDevice);
        QVERIFY(timer.elapsed() < 3000); // it was waited for, but not for long
        timer.restart();
        QCOMPARE(MediaErrorOf(60), noDevice);
        QCOMPARE(MediaErrorOf(60), noDevice);
        QVERIFY(timer.elapsed() < 1000); // the next visits do not wait for it again
        QVERIFY(!silent.IsOpen());
        SetSoundOutput(nullptr);
    }

    // On a machine with an audio output a generated tone really plays, in the background, and
    // the next visit's sound takes its place.
    void playsOnTheRealDevice() {
        QVERIFY2(!server_ || serverStarted_, qPrintable(server_ ? server_->Log() : QString()));
        QVERIFY(MakeSoundFolder());
        QVERIFY(WriteSound(SoundFile(180), 44100, 1, Tone(44100, 0.4, 440)));
        QVERIFY(WriteSound(SoundFile(26), 22050, 1, Tone(22050, 0.3, 660)));
        TPulseSoundOutput device;
        SetSoundOutput(&device);
        if (!server_ && MediaErrorOf(26) == QString::fromStdString(NoAudioDeviceText))
            QSKIP("neither pulseaudio nor a sound server of the session");

        PlayScoreSound(180);
        QVERIFY(device.IsOpen());
        QVERIFY(device.IsPlaying()); // not waiting for the end of the 0.4 s sound

        QElapsedTimer timer;
        timer.start();
        PlayScoreSound(26);
        QVERIFY(device.IsOpen());
        QVERIFY(device.IsPlaying());
        // A null sink, the device of the private server, reports the end about two seconds late.
        QTRY_VERIFY_WITH_TIMEOUT(!device.IsPlaying(), 10000); // the tone ends by itself ...
        QVERIFY(timer.elapsed() >= 200);                      // ... once it has been heard
        QVERIFY(device.IsOpen());                             // and stays open until the next visit
        CloseScoreSound();
        QVERIFY(!device.IsOpen());
        SetSoundOutput(nullptr);

        PlayScoreSound(180); // the program's own default output
        CloseScoreSound();
    }

    // The sound server goes away in the middle of a sound and comes back with another device:
    // while it is gone every visit's sound raises the clear error, once it is back the next visit
    // plays again, to its end.
    void soundComesBackWithTheServer() {
        if (!server_) QSKIP("pulseaudio is not installed");
        QVERIFY2(serverStarted_, qPrintable(server_->Log()));
        QVERIFY(MakeSoundFolder());
        QVERIFY(WriteSound(SoundFile(60), 8000, 1, Tone(8000, 2.0, 440)));
        QVERIFY(WriteSound(SoundFile(26), 8000, 1, Tone(8000, 0.2, 660)));
        TPulseSoundOutput device; // the session's server, as the program's own output finds it
        SetSoundOutput(&device);

        QCOMPARE(MediaErrorOf(60), QStringLiteral("(no error)"));
        QVERIFY(device.IsPlaying());
        server_->Kill();
        QTRY_VERIFY_WITH_TIMEOUT(!device.IsPlaying(), 5000);
        for (int visit = 0; visit < 2; ++visit) {
            QCOMPARE(MediaErrorOf(26), QString::fromStdString(NoAudioDeviceText));
            QVERIFY(!device.IsOpen());
        }

        serverStarted_ = server_->Start("brennix_headset");
        QVERIFY2(serverStarted_, qPrintable(server_->Log()));
        QCOMPARE(MediaErrorOf(26), QStringLiteral("(no error)"));
        QVERIFY(device.IsPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(!device.IsPlaying(), 10000); // heard to its end
        QVERIFY(device.IsOpen());
        SetSoundOutput(nullptr);
    }

    void callerVoiceScriptHelp() {
        QVERIFY(QFileInfo(CallerVoiceScript()).isExecutable());
        const TRunResult help = RunCallerVoice({QStringLiteral("--help")});
        QCOMPARE(help.ExitCode, 0);
        QVERIFY2(help.Output.contains("Usage:"), qPrintable(help.Output));
        QVERIFY(help.Output.contains("--scores"));

        const TRunResult wrong = RunCallerVoice(
            {QStringLiteral("--scores"), QStringLiteral("181"), base_->filePath("voice")});
        QVERIFY(wrong.ExitCode > 0);
        QVERIFY(!QFileInfo::exists(base_->filePath("voice")));
    }

    // The script writes wave files, at least a quarter of a second of speech each, into a folder
    // it creates, and the program plays them.
    void callerVoiceScriptWritesPlayableFiles() {
        if (QStandardPaths::findExecutable(QStringLiteral("espeak-ng")).isEmpty())
            QSKIP("espeak-ng is not installed");
        QVERIFY(!QFileInfo::exists(SoundFolder()));
        const TRunResult run =
            RunCallerVoice({QStringLiteral("--scores"), QStringLiteral("0,26,180"), SoundFolder()});
        QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));

        const QStringList written = QDir(SoundFolder()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(written, (QStringList{"Score0.wav", "Score180.wav", "Score26.wav"}));
        for (const int score : {0, 26, 180}) {
            PlayScoreSound(score);
            QVERIFY(fake_.Playing);
            QCOMPARE(QString::fromStdString(fake_.Sound.FileName), SoundFile(score));
            QVERIFY(fake_.Sound.Samples.size() >
                    size_t(fake_.Sound.SampleRate / 4 * fake_.Sound.Channels));
        }
    }
};

QTEST_MAIN(SoundTest)
#include "sound_test.moc"
