// Hand trimming of the output codes: the "+" / "-" buttons and the output boxes' change
// handling.
#include "app/form1.h"

#include "manual/output_trim.h"

namespace app {

void Form1::cmdAOMaxAdd_Click(card::Int16 index) {
    if (refusedDuringRun("+")) {
        return;
    }
    auto ctx = context();
    report(manual::step(ctx, *this, caldata::aoMax(index), +1));
}

void Form1::cmdAOMaxSub_Click(card::Int16 index) {
    if (refusedDuringRun("-")) {
        return;
    }
    auto ctx = context();
    report(manual::step(ctx, *this, caldata::aoMax(index), -1));
}

void Form1::cmdAOMinAdd_Click(card::Int16 index) {
    if (refusedDuringRun("+")) {
        return;
    }
    auto ctx = context();
    report(manual::step(ctx, *this, caldata::aoMin(index), +1));
}

void Form1::cmdAOMinSub_Click(card::Int16 index) {
    if (refusedDuringRun("-")) {
        return;
    }
    auto ctx = context();
    report(manual::step(ctx, *this, caldata::aoMin(index), -1));
}

void Form1::tbxBiAOMax_Change(card::Int16 index) {
    auto ctx = context();
    manual::outputChanged(ctx, *this, caldata::aoMax(index));
}

void Form1::tbxBiAOMin_Change(card::Int16 index) {
    auto ctx = context();
    manual::outputChanged(ctx, *this, caldata::aoMin(index));
}

} // namespace app
