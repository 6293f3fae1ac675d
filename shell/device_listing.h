#pragma once
// `qex --list-devices`: the input and output devices as the settings panel lists them.

#include <ostream>

// Writes both lists, each device with its identifier (-1 the default device); returns the exit
// code.
int listDevices(std::ostream& out);
