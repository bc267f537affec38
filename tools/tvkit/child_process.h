// Running other programs from tvkit's commands.
#pragma once

#include <string>
#include <vector>

// The path of `program` found on PATH, or empty.
std::string FindOnPath(const std::string& program);

// Runs `argv` (argv[0] a path) to its end with standard output and standard
// error going to the named files (empty: inherited). The exit code, or -1
// when it could not start or was killed.
int RunChild(const std::vector<std::string>& argv, const std::string& out_path,
             const std::string& err_path);

// tvkit's own executable, for running its subcommands.
std::string SelfPath();
