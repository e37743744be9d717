// The whole automatic calibration on the simulated card, on virtual time: with the references
// typed as the card's true voltages, every end point found reads back within one A/D count of
// its target and drives its nominal voltage within 1.5 mV.
#include "autocal/run.h"
#include "caldata/conversions.h"
#include "card/register_acquisition.h"
#include "manual/output_trim.h"
#include "sim/simulated_driver.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using card::Int16;

struct SimRig {
    explicit SimRig(std::uint32_t variant) : cards(sim::SimOptions{1, variant}) {
        Int16 n = 0;
        cards.Drvx_DriverInit(n);
        cards.Drvx_SearchCard(n, card::kCardId);
        rig.state.dwAvgCount = 1000;
        rig.state.wAORange = {0, 2, 1, 3};
        rig.state.ActiveCardInfo.setMemBase(cards.memBase(0));
        rig.state.loadedBoard = 0; // as RELOAD leaves it
        // The output boxes' change handling, as in the window.
        table.onChange = [this](caldata::Field f) { manual::outputChanged(ctx, table, f); };
        table.setText(caldata::ref10(),
                      caldata::formatReference(static_cast<float>(cards.reference10V(0))));
        table.setText(caldata::ref5(),
                      caldata::formatReference(static_cast<float>(cards.reference5V(0))));
    }

    sim::SimulatedDriver cards;
    testing_support::Rig rig{cards};
    session::Context ctx = rig.context();
    card::RegisterAcquisition acquisition{session::acquisitionPorts(ctx)};
    testing_support::MemoryTable table;
    autocal::Environment env{ctx, acquisition, table, {}, {}};
};

TEST(Accuracy, EveryEndPointReachesItsTargetAndItsNominalVoltage) {
    for (std::uint32_t variant : {1u, 2u, 3u, 17u}) {
        SCOPED_TRACE("variant " + std::to_string(variant));
        SimRig r(variant);
        const auto outcome = autocal::runAutoCal(r.env);
        ASSERT_TRUE(outcome) << outcome.refusal();
        ASSERT_EQ(*outcome, autocal::RunOutcome::Completed);
        ASSERT_TRUE(r.rig.prompts.messages.empty()) << r.rig.prompts.messages.front();
        EXPECT_EQ(r.cards.violationCount(), 0);

        const auto targets = *autocal::computeTargets(r.table);
        struct Kind {
            Int16 range;
            double upperVolts, lowerVolts;
            Int16 upperTarget, lowerTarget;
        };
        const Kind kinds[4] = {
            {0, 5.0, 0.0, targets.plus5, targets.zero5},
            {2, 10.0, 0.0, targets.plus10, targets.zero10},
            {1, 5.0, -5.0, targets.plus5, targets.minus5},
            {3, 10.0, -10.0, targets.plus10, targets.minus10},
        };
        for (Int16 c = 0; c < 2; ++c) {
            for (int kind = 0; kind < 4; ++kind) {
                const Kind& k = kinds[kind];
                for (bool upper : {true, false}) {
                    const caldata::Field box =
                        upper ? caldata::aoMax(4 * c + kind) : caldata::aoMin(4 * c + kind);
                    SCOPED_TRACE(caldata::describe(box));
                    const Int16 code = *caldata::parseCode(r.table.text(box));
                    r.cards.Drvx_ConfigAO(0, c, k.range);
                    r.cards.Drvx_WriteAOVoltageH(0, c, code);
                    Int16 reading = 0;
                    ASSERT_EQ(r.acquisition.MX4815_Get_AutoCal_Data(
                                  0, static_cast<Int16>(5 + 2 * c),
                                  autocal::outputGroup(c, k.range).wGain, reading),
                              0);
                    EXPECT_NEAR(reading, upper ? k.upperTarget : k.lowerTarget, 1);
                    const double volts =
                        r.cards.outputVoltageAt(0, c, k.range, static_cast<std::uint16_t>(code));
                    EXPECT_NEAR(volts, upper ? k.upperVolts : k.lowerVolts, 0.0015);
                }
            }
        }
    }
}

} // namespace
