// vorlaxa-cli: commands on saved reports for people without a screen and for
// scripts.
#pragma once

// Runs the command line and returns the process's exit status.
int RunCli(int argc, char** argv);
