#pragma once

// kbmaint from its arguments to its exit status; main() only makes the
// application object and calls this.

int kbmaintMain(int argc, char **argv);
