#include "pulse_output.h"

#include "engine/errors.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <pulse/pulseaudio.h>

namespace brennix {

namespace {

constexpr pa_usec_t ServerWaitUsec = 500000; // the longest a sound waits for the sound server
constexpr auto RetryPause = std::chrono::seconds(5); // after that wait ran out, before trying again
constexpr pa_usec_t BufferUsec = 100000;             // sound handed to the server ahead of time

// Holds the lock of the server connection's loop: its callbacks run only while nobody holds it.
class TLoopLock {
  public:
    explicit TLoopLock(pa_threaded_mainloop* loop) : loop_(loop) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~TLoopLock() { pa_threaded_mainloop_unlock(loop_); }
    TLoopLock(const TLoopLock&) = delete;
    TLoopLock& operator=(const TLoopLock&) = delete;

  private:
    pa_threaded_mainloop* loop_;
};

// Wakes whoever waits on the loop (pa_threaded_mainloop_wait); the state callback of the
// connection and of every stream.
void SignalLoop(pa_threaded_mainloop* loop) {
    pa_threaded_mainloop_signal(loop, 0);
}
void ContextChanged(pa_context*, void* loop) {
    SignalLoop(static_cast<pa_threaded_mainloop*>(loop));
}
void StreamChanged(pa_stream*, void* loop) {
    SignalLoop(static_cast<pa_threaded_mainloop*>(loop));
}

// The time a sound may wait for the server: a timer on the loop that wakes the waiter when it runs
// out. Made, waited on and freed under the loop's lock, so it never fires after it is gone.
class TServerDeadline {
  public:
    TServerDeadline(pa_threaded_mainloop* loop, pa_context* context) : loop_(loop) {
        event_ = pa_context_rttime_new(context, pa_rtclock_now() + ServerWaitUsec, Expire, this);
    }
    ~TServerDeadline() {
        if (event_ != nullptr) pa_threaded_mainloop_get_api(loop_)->time_free(event_);
    }
    TServerDeadline(const TServerDeadline&) = delete;
    TServerDeadline& operator=(const TServerDeadline&) = delete;

    bool Expired() const { return expired_; }

    // Waits, with the lock held, until done() holds or the time has run out; false for the latter.
    // Without a timer (out of memory) nothing is waited for.
    template <class Done>
    bool Wait(Done done) {
        if (event_ == nullptr) expired_ = true;
        while (!done()) {
            if (expired_) return false;
            pa_threaded_mainloop_wait(loop_); // lets go of the lock while it waits
        }
        return true;
    }

  private:
    static void Expire(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
        auto* self = static_cast<TServerDeadline*>(data);
        self->expired_ = true;
        SignalLoop(self->loop_);
    }

    pa_threaded_mainloop* loop_;
    pa_time_event* event_ = nullptr;
    bool expired_ = false;
};

std::string CannotPlayText(const TPcmSound& sound) {
    return "The audio output device cannot play " + std::to_string(sound.Channels) +
           " channel(s) at " + std::to_string(sound.SampleRate) + " Hz";
}

} // namespace

// The connection to the server and the thread of its loop, kept from sound to sound. The context
// is touched only under the loop's lock.
struct TPulseSoundOutput::TConnection {
    pa_threaded_mainloop* Loop = nullptr;
    pa_context* Context = nullptr;
    std::chrono::steady_clock::time_point QuietUntil{}; // no new attempt before this

    TConnection() = default;
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    ~TConnection() {
        if (Loop == nullptr) return;
        {
            const TLoopLock lock(Loop);
            DropContext();
        }
        pa_threaded_mainloop_stop(Loop); // no callback runs after this
        pa_threaded_mainloop_free(Loop);
    }

    // Lets go of the context; its streams end with it. Under the loop's lock.
    void DropContext() {
        if (Context == nullptr) return;
        pa_context_set_state_callback(Context, nullptr, nullptr);
        pa_context_disconnect(Context);
        pa_context_unref(Context);
        Context = nullptr;
    }

    // A context that is connected, or on its way, to the server: the one there is unless the
    // server dropped it. Under the loop's lock; false when a connection cannot even be begun.
    bool Connect(const std::string& address) {
        if (Context != nullptr) {
            const pa_context_state_t state = pa_context_get_state(Context);
            if (state != PA_CONTEXT_FAILED && state != PA_CONTEXT_TERMINATED) return true;
            DropContext();
        }
        Context = pa_context_new(pa_threaded_mainloop_get_api(Loop), "Brennix");
        if (Context == nullptr) return false;
        pa_context_set_state_callback(Context, ContextChanged, Loop);
        // No server is started when there is none.
        if (pa_context_connect(Context, address.empty() ? nullptr : address.c_str(),
                               PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            DropContext();
            return false;
        }
        return true;
    }
};

// One sound on its way to the server: the stream and the samples still to be handed over.
// Everything is touched only under the loop's lock.
struct TPulseSoundOutput::TStream {
    pa_threaded_mainloop* Loop = nullptr;
    pa_stream* Stream = nullptr;
    pa_operation* Drain = nullptr; // awaits the end of the sound on the server's side
    std::vector<char> Bytes;       // the samples
    size_t Written = 0;            // bytes handed to the server
    bool Started = false;
    bool Ended = false; // the server has played everything

    explicit TStream(pa_threaded_mainloop* loop) : Loop(loop) {}
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // The stream ends here (a sound still playing is cut off); none of its callbacks runs after.
    ~TStream() {
        const TLoopLock lock(Loop);
        ForgetDrain();
        if (Stream == nullptr) return;
        pa_stream_set_write_callback(Stream, nullptr, nullptr);
        pa_stream_set_state_callback(Stream, nullptr, nullptr);
        // A stream whose connection has gone is already detached from it.
        if (pa_stream_get_state(Stream) == PA_STREAM_READY) pa_stream_disconnect(Stream);
        pa_stream_unref(Stream);
    }

    void ForgetDrain() {
        if (Drain == nullptr) return;
        if (pa_operation_get_state(Drain) == PA_OPERATION_RUNNING) pa_operation_cancel(Drain);
        pa_operation_unref(Drain);
        Drain = nullptr;
    }

    // Hands the server as much of the rest as it asks for; once all is handed over, the end of
    // the sound is awaited on the server's side. Runs on the loop's thread, or under its lock.
    static void WriteMore(pa_stream* stream, size_t wanted, void* data) {
        auto* self = static_cast<TStream*>(data);
        if (!self->Started || self->Written >= self->Bytes.size()) return;
        const size_t count = std::min(wanted, self->Bytes.size() - self->Written);
        if (pa_stream_write(stream, self->Bytes.data() + self->Written, count, nullptr, 0,
                            PA_SEEK_RELATIVE) < 0)
            return;
        self->Written += count;
        if (self->Written == self->Bytes.size()) {
            self->ForgetDrain();
            self->Drain = pa_stream_drain(stream, Drained, self);
        }
    }

    static void Drained(pa_stream*, int, void* data) { static_cast<TStream*>(data)->Ended = true; }
};

TPulseSoundOutput::TPulseSoundOutput(std::string server) : address_(std::move(server)) {}

TPulseSoundOutput::~TPulseSoundOutput() {
    Disconnect();
}

void TPulseSoundOutput::Open(const TPcmSound& sound) {
    Close();
    if (sound.SampleRate <= 0 || sound.Channels <= 0 ||
        sound.Channels > static_cast<int>(PA_CHANNELS_MAX))
        throw EMediaError(CannotPlayText(sound));
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_S16NE;
    spec.rate = static_cast<uint32_t>(sound.SampleRate);
    spec.channels = static_cast<uint8_t>(sound.Channels);
    pa_channel_map channels{};
    if (pa_sample_spec_valid(&spec) == 0 ||
        pa_channel_map_init_extend(&channels, spec.channels, PA_CHANNEL_MAP_DEFAULT) == nullptr)
        throw EMediaError(CannotPlayText(sound));

    if (!connection_) {
        auto made = std::make_unique<TConnection>();
        made->Loop = pa_threaded_mainloop_new();
        if (made->Loop == nullptr) throw EMediaError(NoAudioDeviceText);
        if (pa_threaded_mainloop_start(made->Loop) < 0) throw EMediaError(NoAudioDeviceText);
        connection_ = std::move(made);
    }
    TConnection& c = *connection_;
    // A server that did not answer a moment ago is not waited for again straight away.
    if (std::chrono::steady_clock::now() < c.QuietUntil) throw EMediaError(NoAudioDeviceText);

    auto opened = std::make_unique<TStream>(c.Loop); // let go of after the lock, on failure
    TStream& s = *opened;
    const TLoopLock lock(c.Loop);
    if (!c.Connect(address_)) throw EMediaError(NoAudioDeviceText);
    TServerDeadline deadline(c.Loop, c.Context);
    // A server that does not answer in time is left alone for a while, and the half-made
    // connection is dropped: the next attempt starts afresh.
    const auto givenUp = [&] {
        if (deadline.Expired()) {
            c.QuietUntil = std::chrono::steady_clock::now() + RetryPause;
            c.DropContext();
        }
        return EMediaError(NoAudioDeviceText);
    };

    deadline.Wait([&] {
        const pa_context_state_t state = pa_context_get_state(c.Context);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    if (pa_context_get_state(c.Context) != PA_CONTEXT_READY) throw givenUp();

    s.Stream = pa_stream_new(c.Context, "Score", &spec, &channels);
    if (s.Stream == nullptr) throw EMediaError(CannotPlayText(sound));
    pa_stream_set_state_callback(s.Stream, StreamChanged, c.Loop);
    pa_stream_set_write_callback(s.Stream, TStream::WriteMore, &s);
    // To the server's default output, silent until Play. A short buffer makes the device start
    // promptly and the end of the sound known when it is heard.
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<uint32_t>(-1);
    buffer.tlength = static_cast<uint32_t>(pa_usec_to_bytes(BufferUsec, &spec));
    buffer.prebuf = static_cast<uint32_t>(-1);
    buffer.minreq = static_cast<uint32_t>(-1);
    buffer.fragsize = static_cast<uint32_t>(-1);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(s.Stream, nullptr, &buffer, flags, nullptr, nullptr) < 0)
        throw EMediaError(NoAudioDeviceText);
    deadline.Wait([&] { return pa_stream_get_state(s.Stream) != PA_STREAM_CREATING; });
    if (pa_stream_get_state(s.Stream) != PA_STREAM_READY) throw givenUp();

    s.Bytes.resize(sound.Samples.size() * sizeof(int16_t));
    if (!s.Bytes.empty()) std::memcpy(s.Bytes.data(), sound.Samples.data(), s.Bytes.size());
    stream_ = std::move(opened);
}

void TPulseSoundOutput::Play() {
    if (!stream_) return;
    TStream& s = *stream_;
    const TLoopLock lock(s.Loop);
    if (pa_stream_get_state(s.Stream) != PA_STREAM_READY) return; // the server went away
    if (s.Started) {
        s.ForgetDrain();
        if (pa_operation* flush = pa_stream_flush(s.Stream, nullptr, nullptr))
            pa_operation_unref(flush);
    }
    s.Started = true;
    s.Written = 0;
    s.Ended = s.Bytes.empty();
    const size_t writable = pa_stream_writable_size(s.Stream);
    if (writable != static_cast<size_t>(-1)) TStream::WriteMore(s.Stream, writable, &s);
    if (pa_operation* uncork = pa_stream_cork(s.Stream, 0, nullptr, nullptr))
        pa_operation_unref(uncork);
}

void TPulseSoundOutput::Close() {
    stream_.reset(); // a sound still playing is cut off
}

void TPulseSoundOutput::Disconnect() {
    Close();
    connection_.reset();
}

bool TPulseSoundOutput::IsPlaying() const {
    if (!stream_) return false;
    const TLoopLock lock(stream_->Loop);
    return stream_->Started && !stream_->Ended &&
           pa_stream_get_state(stream_->Stream) == PA_STREAM_READY;
}

} // namespace brennix
