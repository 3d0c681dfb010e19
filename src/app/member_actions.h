#pragma once
// What the user can do with a listed member: see the stored photo, open the profile page.

#include "collect/main_controls.h"

// For RowFocused: shows the selected member's stored photo, or clears the picture box.
void ShowMemberPhoto(MainControls& window);

// For 按钮2: opens the profile address of the selected member (the prefix alone when no row is
// selected) in the user's browser.
void OpenMemberProfile(MainControls& window);
