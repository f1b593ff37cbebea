#pragma once

// kestrow-cli links: previews what a run would take from a saved page.
int LinksCommand(int argc, char* argv[]);
