// Screen metrics: the reference device that pictures are recorded for.
#pragma once

// The screen's pixels per inch: the primary screen's logical DPI when a GUI
// application is running, 96 otherwise. Tests pin it with SetScreenPixelsPerInch.
int ScreenPixelsPerInch();
// Overrides the value (0 restores the screen's own).
void SetScreenPixelsPerInch(int dpi);
