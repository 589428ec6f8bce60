#pragma once
// The main window's output device: a TDevice under the name the window uses.
#include "audio/output/Device.h"

class TSpeakersNode : public TDevice {};
