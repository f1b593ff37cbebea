#pragma once

// kestrow-cli run: the run of the Go button over a list file, without a person.
int RunCommand(int argc, char* argv[]);
