#pragma once
// Messages of the driver stand-in go to the standard error, one line each.
#include <cstdio>
#include <string>

inline void DriverLog(const std::string& text) { std::fprintf(stderr, "tonquil-audio-driver: %s\n", text.c_str()); }
