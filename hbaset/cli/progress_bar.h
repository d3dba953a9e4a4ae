// The download progress bar: drawn on standard error while standard error is
// a terminal, nothing at all otherwise. Standard output, which fwsweep and
// scripts read, never carries it.
//
//   Loading Image               [##############----------------]  47%
//
// Each stage starts a bar of its own on the same line; the line ends once the
// download is over.
#pragma once

// A stage name: the label of the bar that follows.
void progressBarStage(const char* name);
// The percentage of the current stage (0-100).
void progressBarPercent(int value);
// Ends the bar's line, when one was drawn.
void progressBarDone();
// Whether the bar is drawn; tests set it, the first call otherwise asks the
// platform whether standard error is a terminal.
void progressBarEnable(bool on);
