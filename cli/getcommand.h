#pragma once

// kestrow-cli get: fetches one address into a file with the robot's own client.
int GetCommand(int argc, char* argv[]);
