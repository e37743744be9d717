// Handlers whose logic is not in the window yet: they do nothing. Each moves out into its own
// form1_*.cpp file when it is written.
#include "app/form1.h"

namespace app {

void Form1::cmdReadEEP_Click() {}
void Form1::cmdWriteEEP_Click() {}
void Form1::cmdRecover_Click() {}
void Form1::cmdAOMaxAdd_Click(card::Int16) {}
void Form1::cmdAOMaxSub_Click(card::Int16) {}
void Form1::cmdAOMinAdd_Click(card::Int16) {}
void Form1::cmdAOMinSub_Click(card::Int16) {}
void Form1::tbxBiAOMax_Change(card::Int16) {}
void Form1::tbxBiAOMin_Change(card::Int16) {}
void Form1::cmdReadMaxAI_Click(card::Int16) {}
void Form1::cmdReadMinAI_Click(card::Int16) {}
void Form1::cmdAutoCal_Click() {}

} // namespace app
