#pragma once
// Voice tags: the handle a cut or a release ends voices by. Pattern notes sound under their
// channel (0 .. ChannelCount-1); everything played live sits above them, each source in a range of
// its own, so releasing a key never cuts a pattern note and a stop marker never cuts a held key.
#include "song/Pattern.h"

constexpr int LiveTagBase = 1000;
constexpr int PreviewTag = LiveTagBase;         // an instrument heard from its panel or a menu
constexpr int ListPreviewTag = LiveTagBase + 1; // the instrument list's row, held with the button
constexpr int FilePreviewTag = LiveTagBase + 2; // a file heard from the browser
constexpr int KeyTagBase = LiveTagBase + 100;   // computer keys by virtual-key code (0 .. 254)
constexpr int PianoTagBase = LiveTagBase + 500; // the on-screen piano by pitch (-12 and up)
constexpr int MidiTagBase = LiveTagBase + 1000; // MIDI notes 0 .. 127

constexpr int KeyTag(int VirtualKey) { return KeyTagBase + VirtualKey; }
constexpr int PianoTag(int Pitch) { return PianoTagBase + Pitch; }
constexpr int MidiTag(int Note) { return MidiTagBase + Note; }
constexpr bool IsLiveTag(int Tag) { return Tag >= LiveTagBase; }

static_assert(LiveTagBase >= ChannelCount, "live tags sit above every channel");
static_assert(KeyTag(0) > FilePreviewTag && KeyTag(254) < PianoTag(-12));
static_assert(PianoTag(127) < MidiTag(0));
