#pragma once
// Notes from MIDI keyboards, played like the computer keyboard's: every input port found is
// opened (unless the user closed it before), and note-on and note-off become OnNote and
// OnRelease on the user-interface thread. MIDI note 60 is pitch 0; the velocity scales the
// volume; each MIDI note sounds under a tag of its own, apart from key codes and piano tags.
// A machine without MIDI ports or without a sequencer simply has no ports.
#include "base/RegString.h"
#include "song/VoiceTags.h"
#include "ui/input/MidiQueue.h"
#include "ui/input/MidiSystem.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TMidiInput : public QObject {
    Q_OBJECT
  public:
    static constexpr int TagBase = MidiTagBase;
    static constexpr int MiddleC = 60;
    static constexpr int DrainIntervalMs = 5;
    using TNoteEvent = std::function<void(TMidiInput* Sender, float Pitch, float Volume)>;
    using TReleaseEvent = std::function<void(TMidiInput* Sender)>;

    explicit TMidiInput(QObject* Parent = nullptr);
    ~TMidiInput() override;

    TNoteEvent OnNote;
    TReleaseEvent OnRelease;
    // The MIDI note and voice tag of the last note or release; handlers read them.
    int Param_Note = 0;
    int Param_Tag = 0;
    // True while that MIDI note sounds.
    std::array<bool, 128> Held{};

    static int TagOfNote(int Note) { return MidiTag(Note); }
    static float PitchOfNote(int Note) { return float(Note - MiddleC); }
    static float VolumeOfVelocity(int Velocity) { return float(Velocity) / 127.0f; }

    // Lists the ports afresh and opens each one the user has not closed (a keyboard plugged in
    // since the last look too).
    void Start();
    // The same with the ports listed on a worker thread; they open once the listing is back.
    void StartInBackground();
    // Lists the ports afresh: ports still there keep their state, ports gone are closed.
    void Rescan();
    int GetPortCount() const { return int(Ports.size()); }
    std::string GetPortName(int Index) const;
    bool IsPortOpen(int Index) const;
    // Opening and closing a port also stores the choice for the next start.
    bool OpenPort(int Index);
    void ClosePort(int Index);

    // The ports the user closed, by name, one a line.
    static const TRegString ClosedPorts;
    static bool IsPortChosen(const std::string& Name);
    static void SetPortChosen(const std::string& Name, bool Chosen);

    // Raw MIDI bytes, taken exactly as a port's callback takes them (any thread, one at a time).
    bool FeedBytes(const unsigned char* Bytes, std::size_t Size) noexcept;
    // User-interface thread: raises the events of every queued message; the timer calls it.
    // Returns how many messages it took.
    int Drain();
    // Every note still sounding is released.
    void ReleaseAll();

  private:
    struct TPort;
    using TListing = TMidiSystem::TListing;
    static TListing ListPorts();
    void Apply(const TListing& Listing);
    void Start(const TListing& Listing);
    void Dispatch(const TMidiNoteMessage& Message);
    bool OpenPortQuietly(int Index);
    void ClosePortQuietly(int Index);
    void Close(TPort& Port);
    void UpdateTimer();

    std::vector<std::unique_ptr<TPort>> Ports;
    int Api = 0;      // the RtMidi interface the ports were listed on
    int Listings = 0; // listings asked for, so that a late one from a worker is not applied
    TMidiQueue FedQueue;
    QTimer DrainTimer;
};
