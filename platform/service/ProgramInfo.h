#pragma once
// The switches every program of the tree answers without starting anything:
// "--help" and "-h" print its usage, "--version" its name and version.

namespace plat::svc {

// The version of the programs built from this tree ("0.1.0").
const char* ProgramVersion();

// When an argument of argv (past argv[0]) is exactly "--help", "-h" or
// "--version", prints the answer on standard output and returns true: the
// caller then ends with exit status 0 and does nothing else. usage is the
// full text that --help prints.
bool AnswerInfoSwitches(int argc, char** argv, const char* program, const char* usage);

}  // namespace plat::svc
