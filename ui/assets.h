#pragma once

// Registers the pictures, icons and pointers built into the program. The windows call it
// themselves; repeated calls register nothing twice.
void initAssets();
