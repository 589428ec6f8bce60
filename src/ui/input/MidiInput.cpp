#include "ui/input/MidiInput.h"

#include "base/Switches.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>

struct TMidiInput::TPort {
    std::string Name;
    // Declared before the input so the input (and its callback thread) goes first.
    TMidiQueue Queue;
    std::unique_ptr<TMidiPortIn> In;
};

const TRegString TMidiInput::ClosedPorts("MidiClosedPorts", "");

namespace {
std::vector<std::string> ClosedPortNames() {
    std::vector<std::string> names;
    brindle::Split(TMidiInput::ClosedPorts.Get(), "\n", names);
    std::erase(names, std::string());
    return names;
}
} // namespace

TMidiInput::TMidiInput(QObject* Parent) : QObject(Parent) {
    DrainTimer.setInterval(DrainIntervalMs);
    connect(&DrainTimer, &QTimer::timeout, this, [this] { Drain(); });
}

TMidiInput::~TMidiInput() {
    // The ports' callback threads stop before their queues go.
    Ports.clear();
}

void TMidiInput::Start() {
    ++Listings;
    Start(ListPorts());
}

void TMidiInput::Start(const TListing& Listing) {
    Apply(Listing);
    for (int i = 0; i < GetPortCount(); ++i)
        if (IsPortChosen(Ports[size_t(i)]->Name)) OpenPortQuietly(i);
    UpdateTimer();
}

void TMidiInput::StartInBackground() {
    // Probing the MIDI systems takes tens of milliseconds (a JACK server's more): the window
    // goes on meanwhile. A window closed before the listing arrives drops it.
    // A listing made here since is newer: this one is dropped.
    const int asked = ++Listings;
    QThreadPool::globalInstance()->start([guard = QPointer<TMidiInput>(this), asked] {
        TListing listing = ListPorts();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, asked, listing = std::move(listing)] {
                if (guard && guard->Listings == asked) guard->Start(listing);
            },
            Qt::QueuedConnection);
    });
}

void TMidiInput::Rescan() {
    ++Listings;
    Apply(ListPorts());
    UpdateTimer();
}

TMidiInput::TListing TMidiInput::ListPorts() {
    TMidiSystem* midi = LoadedMidiSystem();
    return midi ? midi->ListPorts() : TListing{};
}

void TMidiInput::Apply(const TListing& Listing) {
    // A port that is still there stays open as it is: a note held on it ends with its note-off.
    std::vector<std::unique_ptr<TPort>> old = std::move(Ports);
    Ports.clear();
    if (Listing.Api) Api = Listing.Api;
    for (const auto& name : Listing.Names) {
        auto kept = std::find_if(old.begin(), old.end(), [&](const auto& p) { return p && p->Name == name; });
        if (kept != old.end()) {
            Ports.push_back(std::move(*kept));
            continue;
        }
        auto port = std::make_unique<TPort>();
        port->Name = name;
        Ports.push_back(std::move(port));
    }
    for (auto& gone : old)
        if (gone) Close(*gone);
}

std::string TMidiInput::GetPortName(int Index) const {
    return Index >= 0 && Index < GetPortCount() ? Ports[size_t(Index)]->Name : std::string();
}

bool TMidiInput::IsPortOpen(int Index) const {
    return Index >= 0 && Index < GetPortCount() && Ports[size_t(Index)]->In;
}

bool TMidiInput::OpenPort(int Index) {
    if (Index < 0 || Index >= GetPortCount()) return false;
    SetPortChosen(Ports[size_t(Index)]->Name, true);
    const bool opened = OpenPortQuietly(Index);
    UpdateTimer();
    return opened;
}

void TMidiInput::ClosePort(int Index) {
    if (Index < 0 || Index >= GetPortCount()) return;
    SetPortChosen(Ports[size_t(Index)]->Name, false);
    ClosePortQuietly(Index);
    UpdateTimer();
}

bool TMidiInput::OpenPortQuietly(int Index) {
    TPort& port = *Ports[size_t(Index)];
    if (port.In) return true;
    TMidiSystem* midi = LoadedMidiSystem();
    if (!midi) return false;
    port.In = midi->OpenPort(Api, unsigned(Index), &TMidiQueue::Callback, &port.Queue);
    return port.In != nullptr;
}

void TMidiInput::ClosePortQuietly(int Index) {
    Close(*Ports[size_t(Index)]);
}

void TMidiInput::Close(TPort& Port) {
    if (!Port.In) return;
    Port.In.reset(); // joins the callback thread
    // What the port sent before it closed still counts, note-offs above all.
    TMidiNoteMessage m;
    while (Port.Queue.Pop(m))
        Dispatch(m);
}

bool TMidiInput::IsPortChosen(const std::string& Name) {
    const auto closed = ClosedPortNames();
    return std::find(closed.begin(), closed.end(), Name) == closed.end();
}

void TMidiInput::SetPortChosen(const std::string& Name, bool Chosen) {
    auto closed = ClosedPortNames();
    std::erase(closed, Name);
    if (!Chosen) closed.push_back(Name);
    std::string text;
    for (const auto& n : closed)
        text += (text.empty() ? "" : "\n") + n;
    ClosedPorts.Set(text);
}

bool TMidiInput::FeedBytes(const unsigned char* Bytes, std::size_t Size) noexcept {
    return FedQueue.Feed(Bytes, Size);
}

int TMidiInput::Drain() {
    int taken = 0;
    TMidiNoteMessage m;
    while (FedQueue.Pop(m)) {
        Dispatch(m);
        ++taken;
    }
    for (const auto& port : Ports)
        while (port->Queue.Pop(m)) {
            Dispatch(m);
            ++taken;
        }
    return taken;
}

void TMidiInput::Dispatch(const TMidiNoteMessage& Message) {
    const int note = Message.Note & 0x7F;
    if (Message.On) {
        Held[size_t(note)] = true;
        if (OnNote) {
            Param_Note = note;
            Param_Tag = TagOfNote(note);
            OnNote(this, PitchOfNote(note), VolumeOfVelocity(Message.Velocity));
        }
        return;
    }
    if (!Held[size_t(note)]) return; // its note-on came before we listened
    Held[size_t(note)] = false;
    if (OnRelease) {
        Param_Note = note;
        Param_Tag = TagOfNote(note);
        OnRelease(this);
    }
}

void TMidiInput::ReleaseAll() {
    for (int note = 0; note < int(Held.size()); ++note)
        if (Held[size_t(note)]) Dispatch({std::uint8_t(note), 0, false});
}

void TMidiInput::UpdateTimer() {
    const bool anyOpen = std::any_of(Ports.begin(), Ports.end(), [](const auto& p) { return bool(p->In); });
    if (anyOpen && !DrainTimer.isActive()) DrainTimer.start();
    if (!anyOpen) DrainTimer.stop();
}
