#pragma once

// Whether the desktop blends translucent windows. Without a compositing
// manager an X11 server shows the transparent pixels of a translucent window
// as black, so the frame then draws itself without its translucent shadow
// margin.

// False only on X11 (the "xcb" platform) while no compositing manager owns
// the _NET_WM_CM_S<screen> selection; true on every other platform, which
// either always composites or draws no screen at all.
bool desktopComposites();
