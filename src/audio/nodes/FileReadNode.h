#pragma once
// The sample cut editor's file source: a TAudioFile with nothing added.
#include "audio/nodes/AudioFile.h"

class TFileReadNode : public TAudioFile {};
