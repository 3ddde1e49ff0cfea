// The desktop's light or dark look. Linux desktops give Qt their palette
// (a dark one on a dark desktop), and the window's artwork follows the
// palette (PrefersDarkArtwork). Windows keeps the choice in the user's
// "apps use dark theme" setting, which Qt 6.4 shows only in window frames
// unless asked, and its native style draws light controls whatever the
// palette; there the program asks for the dark palette and takes the Fusion
// style, as Qt itself does from 6.5 on.
#pragma once

namespace tovali {

// Call before the application object exists. True when the desktop asks for
// the dark look and the style must be one that draws a dark palette: call
// UseDarkDesktopStyle once the application exists.
bool PrepareDarkDesktopLook();

// The Fusion style, with check boxes and radio buttons in the palette of
// every other control.
void UseDarkDesktopStyle();

}  // namespace tovali
