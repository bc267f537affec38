// The subcommands of tvkit. Each gets its own name as argv[0] and answers the
// process's exit code. Errors go to standard error as one line
// "error: <ERRNAME>".
#pragma once

#include "base/errors.h"

int ReportError(ErrCode code);
// Removes "<name> <value>" from the arguments after the subcommand's name;
// the value, or null when the option is absent.
const char* TakeOption(int* argc, char** argv, const char* name);

int RunIni(int argc, char** argv);
int RunPack(int argc, char** argv);
int RunLz(int argc, char** argv);
int RunBmp(int argc, char** argv);
int RunAni(int argc, char** argv);
int RunFont(int argc, char** argv);
int RunWav(int argc, char** argv);
int RunMix(int argc, char** argv);
int RunVb(int argc, char** argv);
int RunScript(int argc, char** argv);
int RunUi(int argc, char** argv);
int RunWorld(int argc, char** argv);
int RunGame(int argc, char** argv);
