#pragma once

// Every kind of node the graph offers.
#include "graph/AudioNode.h"
#include "graph/InputNode.h"
#include "graph/MixerNode.h"
#include "graph/PlayerNode.h"
#include "units/DelayUnit.h"
#include "units/DistortionUnit.h"
#include "units/EQUnit.h"
#include "units/ReverbUnit.h"
#include "units/TimePitchUnit.h"
