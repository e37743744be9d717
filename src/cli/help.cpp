// The help texts of the program and its commands.
#include "cli/options.h"

namespace cli {

namespace {

constexpr const char* kCommon = R"(
Options of every command:
  --simulate      use the simulated cards instead of Dravex.dll (always so outside Windows)
  --cards N       number of simulated cards, 0 to 1024 (default 1); implies --simulate
  --json          print one JSON document instead of the table
  --quiet         no progress line on stderr
  --help, -h      this text

Exit codes:
  0  success
  1  input refused: an argument, a board number or a file (nothing reached the card)
  2  the card or the driver failed (SAVE and RECOVER included)
  3  an as-left end point outside the tolerance (nothing saved)
  4  stopped by Ctrl-C or a termination (what was finished is kept, nothing saved that was
     not saved before; the record says "stopped")
  5  the board is in use by another program (named in the message; nothing changed)
  6  a file could not be written after the card was worked on (the record is printed)
  7  the calibration history could not keep the record of a change (refused before the
     card was written, unless the message says the EEPROM was changed)
A board named by a command is held for the command's whole run; a second program asking
for it is refused. Ctrl-C ends a command at its next pause, as STOP ends a run.
)";

std::string usage(Command command) {
    switch (command) {
    case Command::List:
        return "Usage: mx4815cal-cli list\n\nThe cards found: board number and register base.\n";
    case Command::Read:
        return "Usage: mx4815cal-cli read --board N [--out FILE.ini]\n\n"
               "RELOAD: reads the calibration table from the board's EEPROM and prints it.\n"
               "  --out FILE.ini  also Export the table into FILE.ini, as the window does\n";
    case Command::Calibrate:
        return "Usage: mx4815cal-cli calibrate --board N --ref10 V --ref5 V [--save]\n"
               "                               [--out FILE.ini] [--record FILE.json]\n"
               "                               [--tolerance COUNTS]\n"
               "       mx4815cal-cli calibrate --boards LIST --refs FILE [--jobs N] [--save]\n"
               "                               [--out FILE{board}.ini] [--record "
               "FILE{board}.json]\n"
               "                               [--tolerance COUNTS]\n\n"
               "RELOAD, the as-found readings of the sixteen output end points, the automatic\n"
               "calibration (as START runs it), the as-left readings, and with --save the SAVE\n"
               "of the new calibration. Takes about 100 s.\n"
               "  --ref10 V, --ref5 V  the voltages measured at the test points TP2 and TP3\n"
               "  --save               write the new calibration into the EEPROM (this is the\n"
               "                       confirmation; nothing is saved when an as-left end\n"
               "                       point is outside the tolerance)\n"
               "  --out FILE.ini       Export the new calibration table\n"
               "  --record FILE.json   write the calibration record (as-found / as-left)\n"
               "  --tolerance COUNTS   pass/fail limit of a read-back residual (default 2)\n"
               "  --boards LIST        several boards at once (0-3, 0,2,5), each by a program of\n"
               "                       its own; one summary line per board, exit code of the\n"
               "                       first board that did not succeed\n"
               "  --refs FILE          each board's references, a line \"BOARD REF10 REF5\"\n"
               "  --jobs N             at most N boards at once (--jobs 1: one at a time)\n"
               "The files are proven writable before anything reaches the card; the record is\n"
               "written however the calibration ends (completed, out of tolerance, stopped,\n"
               "failed). With --boards, {board} in a file name becomes each board's number.\n";
    case Command::Write:
        return "Usage: mx4815cal-cli write --board N --in FILE.ini --save\n"
               "       mx4815cal-cli write --board N --from-history ID --save\n\n"
               "RELOAD, Import of FILE.ini, then SAVE. The file must hold all thirty entries,\n"
               "each valid; otherwise nothing changes on the card. --save is the confirmation.\n"
               "--from-history puts back the calibration that record ID of the calibration\n"
               "history wrote (a change written and verified, on this same card), checked as\n"
               "a file is, and recorded as a restore.\n";
    case Command::Recover:
        return "Usage: mx4815cal-cli recover --board N\n\n"
               "RECOVER: restores the board's EEPROM from the driver's backup.\n";
    case Command::Station:
        return "Usage: mx4815cal-cli station [SETTINGS]\n\n"
               "Shows the station's facts that every record names; with settings, sets them\n"
               "(an empty value clears one) in the station file of the data folder.\n"
               "  --laboratory NAME, --address TEXT, --operator NAME (default: the user)\n"
               "  --meter-make, --meter-model, --meter-serial, --meter-certificate TEXT\n"
               "  --meter-due YYYY-MM-DD      the meter's calibration due date\n"
               "  --meter-uncertainty PPM_OF_READING,PPM_OF_RANGE[,RANGE_V[,K]]\n"
               "                              e.g. 35,5,10,2 (range 10 V and k = 2 by default)\n"
               "  --history default | sqlite:PATH | postgresql://USER@HOST[:PORT]/DATABASE\n"
               "            | odbc:CONNECTION  where the calibration history lives (the\n"
               "                              password comes from ~/.pgpass, PGPASSWORD or\n"
               "                              the ODBC data source; ODBC reaches a PostgreSQL\n"
               "                              server, e.g. odbc:DSN=lab-history)\n"
               "  --interval START_DAYS,EXTEND,SHORTEN[,MIN_DAYS,MAX_DAYS]\n"
               "                              the calibration interval's staircase (ILAC-G24),\n"
               "                              e.g. 365,1.5,0.5,90,1095 (the default; empty:\n"
               "                              the default)\n";
    case Command::History:
        return "Usage: mx4815cal-cli history [--board N] [--card FINGERPRINT] [--since DATE]\n"
               "       mx4815cal-cli history show ID\n"
               "       mx4815cal-cli history verify\n"
               "       mx4815cal-cli history --drift --card FINGERPRINT | --board N\n\n"
               "The calibration history: every change either program made to a card's\n"
               "EEPROM, newest first; one record in full (ID or the start of one); every\n"
               "record's seal checked against its content (exit code 7 when one does not\n"
               "match). A card is named by its fingerprint or the start of one.\n"
               "--drift: a card's completed calibrations (--board: the card of the board's\n"
               "latest one), each output end point's drift in mV a year (as found against\n"
               "what the calibration before left on the card), the end points it would take\n"
               "out of tolerance by the next due date, and that date by the staircase of\n"
               "ILAC-G24 with the station's interval (station --interval).\n";
    case Command::Certificate:
        return "Usage: mx4815cal-cli certificate ID --pdf FILE.pdf [--approved-by NAME]\n"
               "                                 [--page a4|letter]\n\n"
               "The calibration certificate of record ID of the calibration history (a\n"
               "calibrate's record): the laboratory, the item, the method, the traceability,\n"
               "every point's results with their uncertainty and verdict, the statement of\n"
               "conformity and a plot of the residuals; its id and \"page n of m\" on every\n"
               "page.\n";
    case Command::None:
        break;
    }
    return "Usage: mx4815cal-cli [--simulate] [--cards N] COMMAND [options]\n\n"
           "Calibration of MX-4815 cards from the command line.\n\n"
           "Commands:\n"
           "  list       the cards found\n"
           "  read       print (and export) a board's calibration table\n"
           "  calibrate  automatic calibration with an as-found / as-left record\n"
           "  write      import a calibration file and save it into the EEPROM\n"
           "  recover    restore the EEPROM from the driver's backup\n"
           "  station    show or set the station: laboratory, operator, reference meter\n"
           "  history    the calibration history of every EEPROM change\n"
           "  certificate  a record's calibration certificate as PDF\n\n"
           "COMMAND --help describes a command.\n";
}

} // namespace

std::string helpText(Command command) {
    return usage(command) + kCommon;
}

} // namespace cli
