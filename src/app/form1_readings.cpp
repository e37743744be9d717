// The window's auto-calibration acquisition and the input range readings (hidden "Read"
// buttons, called by the automatic run).
#include "app/form1.h"
#include "card/register_acquisition.h"
#include "manual/input_readings.h"

namespace app {

card::Acquisition& Form1::acquisition() {
    if (!acquisition_) {
        session::Context ctx = context();
        acquisition_ = std::make_unique<card::RegisterAcquisition>(session::acquisitionPorts(ctx));
    }
    return *acquisition_;
}

void Form1::cmdReadMaxAI_Click(card::Int16 index) {
    auto ctx = context();
    report(manual::readMaxAI(ctx, acquisition(), *this, index));
}

void Form1::cmdReadMinAI_Click(card::Int16 index) {
    auto ctx = context();
    report(manual::readMinAI(ctx, acquisition(), *this, index));
}

} // namespace app
