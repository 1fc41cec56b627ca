#pragma once

// Registers the compiled-in resources (":/images/...") of the core library.
// The library is static, so the linker would drop the resource object unless
// something calls this; every component that reads a resource does. Safe to
// call any number of times.
void initMaintResources();
