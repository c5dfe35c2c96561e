#include "deck/QuelmoViewModel.h"

namespace quelmo {

void QuelmoViewModel::setChassisSlapEnabled(bool value) {
    assign(chassisSlapEnabled_, value, &QuelmoViewModel::chassisSlapEnabledChanged);
}

void QuelmoViewModel::setChassisSlapStatus(const QString& value) {
    assign(chassisSlapStatus_, value, &QuelmoViewModel::chassisSlapStatusChanged);
}

} // namespace quelmo
