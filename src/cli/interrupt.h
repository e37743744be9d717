#pragma once

// Ctrl-C and termination as STOP: the command is asked to stop and ends at its next yield,
// as a click on STOP ends the window's run, instead of being cut off wherever it is.
namespace cli {

// Catches Ctrl-C and SIGTERM (SIGHUP too; on Windows Ctrl-C, Ctrl-Break and the closing of
// the console) for the rest of the program.
void catchInterrupts();

// True once one of them came.
bool interruptRequested();

// The program is about to end: on Windows a console being closed waits for this (a few
// seconds at most) so that the stopped command's record is complete.
void interruptsDone();

} // namespace cli
