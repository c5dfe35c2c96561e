#include "deck/QuelmoViewModel.h"

namespace quelmo {

void QuelmoViewModel::setMeterPads(double value) {
    assign(meterPads_, value, &QuelmoViewModel::meterPadsChanged);
}

void QuelmoViewModel::setMeterImport(double value) {
    assign(meterImport_, value, &QuelmoViewModel::meterImportChanged);
}

void QuelmoViewModel::setMeterMaster(double value) {
    assign(meterMaster_, value, &QuelmoViewModel::meterMasterChanged);
}

void QuelmoViewModel::setMeterVoice(double value) {
    assign(meterVoice_, value, &QuelmoViewModel::meterVoiceChanged);
}

// The taps on the four bus mixers and the 24 Hz meter timer start here once the graph runs.
void QuelmoViewModel::installMeterTaps() {}

void QuelmoViewModel::startMeterDecayTimer() {}

} // namespace quelmo
